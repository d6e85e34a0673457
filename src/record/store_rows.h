// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "korvane/model/record.h"
#include "korvane/record/run.h"

namespace korvane::record::detail {

// The SQL of the store's rows in the current layout, and the mapping of rows to records.
// Parameters and columns come in one fixed order: the insert's parameters from 1, the
// select's columns from 0 with the id first.

const std::string& InsertFrameSql();
const std::string& CopyFrameSql();     // the frame's id ?1, then the insert's parameters from 2
const std::string& SelectFramesSql();  // ids ?1..?2 inclusive, in order
// The same with the columns of one channel (index 0 or 1) only, after id, utc_ms, frame_code.
const std::string& SelectChannelFramesSql(int channel_index);
// An upsert: inserts a new run (id ?1 NULL) with its pack, or updates every column of a stored
// run but its pack. Returns the id, the pack id and its name. Use it through PutRun.
const std::string& PutRunSql();
// The runs of a file of layout `version` (an older one reads no pack and no health figures),
// without WHERE / ORDER BY. Without `pack_names` the name reads "": a damaged packs table then
// costs no run.
std::string SelectRunsSql(int version, bool pack_names = true);

void BindFrame(SQLite::Statement& insert, const model::S_HARDWARE_DATA& record, int first = 1);
// Fills everything but Time.
void ReadFrame(const SQLite::Statement& row, model::S_HARDWARE_DATA& record);
// The same through SQLite's own interface, without a checked Column object per value: for the
// frames of a whole run (tens of thousands) read at once.
void ReadFrame(sqlite3_stmt* row, model::S_HARDWARE_DATA& record);
// A row of SelectChannelFramesSql into that channel of `record`; the other stays as it was.
void ReadChannelFrame(sqlite3_stmt* row, int channel_index, model::S_HARDWARE_DATA& record);

// Runs PutRunSql for `run`: a new one belongs to the channel's chosen pack (`chosen`) or to
// run.pack_id (one the store has, else none). Sets run.id, run.pack_id and run.pack_name as
// stored.
void PutRun(SQLite::Statement& put, RunSummary& run, bool chosen);
RunSummary ReadRun(const SQLite::Statement& row);
// Binds the health columns (charged_mah, discharged_mah, ir_mohm, cell_ir_mohm) from `first`.
void BindHealth(SQLite::Statement& statement, const RunSummary& run, int first);

// A cell estimate list as stored: numbers separated by spaces, NULL (empty) for none.
std::string CellsText(const std::vector<double>& values);
std::vector<double> CellsFromText(const std::string& text);

// The end a run left in progress gets when the recording has ended without closing it.
void MarkInterrupted(RunSummary& run);

}  // namespace korvane::record::detail
