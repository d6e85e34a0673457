// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <SQLiteCpp/Statement.h>

#include <string>

#include "korvane/model/record.h"
#include "korvane/record/run.h"

namespace korvane::record::detail {

// The SQL of the store's rows in the current layout, and the mapping of rows to records.
// Parameters and columns come in one fixed order: the insert's parameters from 1, the
// select's columns from 0 with the id first.

const std::string& InsertFrameSql();
const std::string& CopyFrameSql();     // the frame's id ?1, then the insert's parameters from 2
const std::string& SelectFramesSql();  // ids ?1..?2 inclusive, in order
const std::string& PutRunSql();        // id ?1, NULL for a new run
const std::string& SelectRunsSql();    // without WHERE / ORDER BY

void BindFrame(SQLite::Statement& insert, const model::S_HARDWARE_DATA& record, int first = 1);
// Fills everything but Time.
void ReadFrame(const SQLite::Statement& row, model::S_HARDWARE_DATA& record);

void BindRun(SQLite::Statement& put, const RunSummary& run);
RunSummary ReadRun(const SQLite::Statement& row);

// The end a run left in progress gets when the recording has ended without closing it.
void MarkInterrupted(RunSummary& run);

}  // namespace korvane::record::detail
