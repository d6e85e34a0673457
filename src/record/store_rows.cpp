// SPDX-License-Identifier: GPL-3.0-or-later
#include "store_rows.h"

#include <SQLiteCpp/Column.h>
#include <SQLiteCpp/Exception.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <string_view>
#include <system_error>

namespace korvane::record::detail {
namespace {

constexpr int kFixedFields = 10;
constexpr int kChannelFields = kFixedFields + model::kCellCount;

constexpr int CountNames(std::string_view list, char separator) {
  return 1 + static_cast<int>(std::count(list.begin(), list.end(), separator));
}

// Each channel's columns, in the order of ChannelValues, behind the prefix "c1_" or "c2_".
constexpr std::string_view kChannelColumns =
    "input_mv mode status cycle output_mv current_ma capacity_mah temperature temperature_sign "
    "temperature_unit cell1_mv cell2_mv cell3_mv cell4_mv cell5_mv cell6_mv cell7_mv";

// The run's columns of every layout, then those of layout 4 but its pack (never updated).
constexpr std::string_view kRunColumns =
    "channel, kind, start_ms, end_ms, first_frame, last_frame, frames, capacity_mah, energy_wh, "
    "max_current_ma, peak_temperature, temperature_unit, first_output_mv, last_output_mv, "
    "min_cell_mv, max_cell_mv, cell_spread_mv, end_state, end_text";
constexpr std::string_view kHealthColumns = "charged_mah, discharged_mah, ir_mohm, cell_ir_mohm";
constexpr int kPutColumns = 1 + CountNames(kRunColumns, ',') + CountNames(kHealthColumns, ',');

static_assert(CountNames(kChannelColumns, ' ') == kChannelFields);

std::string ChannelColumns(const char* prefix) {
  std::string columns;
  std::size_t begin = 0;
  for (std::size_t end = 0; end != std::string_view::npos; begin = end + 1) {
    end = kChannelColumns.find(' ', begin);
    columns += std::string(", ") + prefix + std::string(kChannelColumns.substr(begin, end - begin));
  }
  return columns;
}

std::string FrameColumns() {
  return "utc_ms, frame_code" + ChannelColumns("c1_") + ChannelColumns("c2_");
}

std::string Parameters(int count) {
  std::string list = "?";
  for (int i = 1; i < count; ++i) {
    list += ", ?";
  }
  return list;
}

std::array<int, kChannelFields> ChannelValues(const model::S_CHANNEL_DATA& c) {
  std::array<int, kChannelFields> values{
      c.InputVoltage,  c.OperationMode,  c.OperationStatus, c.CycleNumber,     c.OutputVoltage,
      c.OutputCurrent, c.OutputCapacity, c.Temperature,     c.TemperatureSign, c.TemperatureUnit};
  for (int cell = 0; cell < model::kCellCount; ++cell) {
    values[static_cast<std::size_t>(kFixedFields + cell)] =
        c.CellVoltage[static_cast<std::size_t>(cell)];
  }
  return values;
}

// Columns first .. first + kChannelFields - 1 of a row, read with `column` (index -> int).
template <typename Column>
void ReadChannel(const Column& column, int first, model::S_CHANNEL_DATA& c) {
  const auto u16 = [&](int i) { return static_cast<std::uint16_t>(column(first + i)); };
  const auto u8 = [&](int i) { return static_cast<std::uint8_t>(column(first + i)); };
  c.InputVoltage = u16(0);
  c.OperationMode = u8(1);
  c.OperationStatus = u8(2);
  c.CycleNumber = u8(3);
  c.OutputVoltage = u16(4);
  c.OutputCurrent = u16(5);
  c.OutputCapacity = u16(6);
  c.Temperature = u16(7);
  c.TemperatureSign = u8(8);
  c.TemperatureUnit = u8(9);
  for (int cell = 0; cell < model::kCellCount; ++cell) {
    c.CellVoltage[static_cast<std::size_t>(cell)] = u16(kFixedFields + cell);
  }
}

template <typename Column>
void ReadFrameWith(const Column& column, std::int64_t utc_ms, model::S_HARDWARE_DATA& record) {
  record.UtcMs = utc_ms;
  record.FrameCode = static_cast<std::uint8_t>(column(2));
  for (int k = 0; k < model::kChannelCount; ++k) {
    ReadChannel(column, 3 + k * kChannelFields, record.Channels[static_cast<std::size_t>(k)]);
  }
}

}  // namespace

const std::string& InsertFrameSql() {
  static const std::string sql = "INSERT INTO frames (" + FrameColumns() + ") VALUES (" +
                                 Parameters(2 + model::kChannelCount * kChannelFields) + ")";
  return sql;
}

const std::string& CopyFrameSql() {
  static const std::string sql = "INSERT INTO frames (id, " + FrameColumns() + ") VALUES (" +
                                 Parameters(3 + model::kChannelCount * kChannelFields) + ")";
  return sql;
}

const std::string& SelectFramesSql() {
  static const std::string sql =
      "SELECT id, " + FrameColumns() + " FROM frames WHERE id BETWEEN ?1 AND ?2 ORDER BY id";
  return sql;
}

const std::string& SelectChannelFramesSql(int channel_index) {
  static const std::array<std::string, model::kChannelCount> sql = {
      "SELECT id, utc_ms, frame_code" + ChannelColumns("c1_") +
          " FROM frames WHERE id BETWEEN ?1 AND ?2 ORDER BY id",
      "SELECT id, utc_ms, frame_code" + ChannelColumns("c2_") +
          " FROM frames WHERE id BETWEEN ?1 AND ?2 ORDER BY id"};
  return sql.at(static_cast<std::size_t>(channel_index));
}

const std::string& PutRunSql() {
  static const std::string sql = [] {
    const std::string columns = std::string(kRunColumns) + ", " + std::string(kHealthColumns);
    std::string updates;
    std::size_t begin = 0;
    for (std::size_t end = 0; end != std::string::npos; begin = end + 2) {
      end = columns.find(", ", begin);
      const std::string column = columns.substr(begin, end - begin);
      updates += (updates.empty() ? "" : ", ") + column + " = excluded." + column;
    }
    // ?2 is the channel. A chosen or given pack counts only when the store has it.
    const std::string chosen = std::to_string(kPutColumns + 1);
    const std::string given = std::to_string(kPutColumns + 2);
    return "INSERT INTO runs (id, " + columns + ", pack_id) VALUES (" + Parameters(kPutColumns) +
           ", CASE WHEN ?" + chosen +
           " THEN (SELECT c.pack_id FROM chosen_packs c JOIN packs p ON p.id = c.pack_id "
           "WHERE c.channel = ?2) ELSE (SELECT id FROM packs WHERE id = ?" +
           given + ") END) ON CONFLICT (id) DO UPDATE SET " + updates +
           " RETURNING id, coalesce(pack_id, 0), "
           "coalesce((SELECT name FROM packs WHERE packs.id = runs.pack_id), '')";
  }();
  return sql;
}

std::string SelectRunsSql(int version, bool pack_names) {
  if (version < 4) {
    return "SELECT id, " + std::string(kRunColumns) + ", 0, 0, NULL, NULL, 0, '' FROM runs";
  }
  return "SELECT id, " + std::string(kRunColumns) + ", " + std::string(kHealthColumns) +
         ", coalesce(pack_id, 0), " +
         (pack_names ? "coalesce((SELECT name FROM packs WHERE packs.id = runs.pack_id), '')"
                     : "''") +
         " FROM runs";
}

void BindFrame(SQLite::Statement& insert, const model::S_HARDWARE_DATA& record, int first) {
  insert.bind(first, record.UtcMs);
  insert.bind(first + 1, record.FrameCode);
  int index = first + 2;
  for (const model::S_CHANNEL_DATA& channel : record.Channels) {
    for (const int value : ChannelValues(channel)) {
      insert.bind(index++, value);
    }
  }
}

void ReadFrame(const SQLite::Statement& row, model::S_HARDWARE_DATA& record) {
  ReadFrameWith([&](int i) { return row.getColumn(i).getInt(); }, row.getColumn(1).getInt64(),
                record);
}

void ReadFrame(sqlite3_stmt* row, model::S_HARDWARE_DATA& record) {
  ReadFrameWith([&](int i) { return sqlite3_column_int(row, i); }, sqlite3_column_int64(row, 1),
                record);
}

void ReadChannelFrame(sqlite3_stmt* row, int channel_index, model::S_HARDWARE_DATA& record) {
  record.UtcMs = sqlite3_column_int64(row, 1);
  record.FrameCode = static_cast<std::uint8_t>(sqlite3_column_int(row, 2));
  ReadChannel([&](int i) { return sqlite3_column_int(row, i); }, 3,
              record.Channels.at(static_cast<std::size_t>(channel_index)));
}

void PutRun(SQLite::Statement& put, RunSummary& run, bool chosen) {
  put.tryReset();  // a failed step elsewhere may have left it unfinished
  if (run.id == 0) {
    put.bind(1);
  } else {
    put.bind(1, run.id);
  }
  put.bind(2, run.channel);
  put.bind(3, run.kind);
  put.bind(4, run.start_ms);
  put.bind(5, run.end_ms);
  put.bind(6, run.first_frame);
  put.bind(7, run.last_frame);
  put.bind(8, run.frames);
  put.bind(9, run.capacity_mah);
  put.bind(10, run.energy_wh);
  put.bind(11, run.max_current_ma);
  put.bind(12, run.peak_temperature);
  put.bind(13, run.temperature_unit);
  put.bind(14, run.first_output_mv);
  put.bind(15, run.last_output_mv);
  put.bind(16, run.min_cell_mv);
  put.bind(17, run.max_cell_mv);
  put.bind(18, run.cell_spread_mv);
  put.bind(19, static_cast<int>(run.end_state));
  put.bind(20, run.end_text);
  BindHealth(put, run, 21);
  put.bind(kPutColumns + 1, chosen ? 1 : 0);
  put.bind(kPutColumns + 2, run.pack_id);
  if (!put.executeStep()) {
    throw SQLite::Exception("the run was not stored", SQLITE_ERROR);
  }
  run.id = put.getColumn(0).getInt64();
  run.pack_id = put.getColumn(1).getInt64();
  run.pack_name = put.getColumn(2).getString();
  put.reset();
}

void BindHealth(SQLite::Statement& statement, const RunSummary& run, int first) {
  statement.bind(first, run.charged_mah);
  statement.bind(first + 1, run.discharged_mah);
  if (run.ir_mohm) {
    statement.bind(first + 2, *run.ir_mohm);
  } else {
    statement.bind(first + 2);
  }
  if (run.cell_ir_mohm.empty()) {
    statement.bind(first + 3);
  } else {
    statement.bind(first + 3, CellsText(run.cell_ir_mohm));
  }
}

RunSummary ReadRun(const SQLite::Statement& row) {
  const auto i64 = [&](int i) { return row.getColumn(i).getInt64(); };
  const auto u16 = [&](int i) { return static_cast<std::uint16_t>(row.getColumn(i).getInt()); };
  RunSummary run;
  run.id = i64(0);
  run.channel = row.getColumn(1).getInt();
  run.kind = row.getColumn(2).getInt();
  run.start_ms = i64(3);
  run.end_ms = i64(4);
  run.first_frame = i64(5);
  run.last_frame = i64(6);
  run.frames = i64(7);
  run.capacity_mah = u16(8);
  run.energy_wh = row.getColumn(9).getDouble();
  run.max_current_ma = u16(10);
  run.peak_temperature = row.getColumn(11).getInt();
  run.temperature_unit = row.getColumn(12).getInt();
  run.first_output_mv = u16(13);
  run.last_output_mv = u16(14);
  run.min_cell_mv = u16(15);
  run.max_cell_mv = u16(16);
  run.cell_spread_mv = u16(17);
  run.end_state = static_cast<EndState>(row.getColumn(18).getInt());
  run.end_text = row.getColumn(19).getString();
  run.charged_mah = u16(20);
  run.discharged_mah = u16(21);
  if (!row.getColumn(22).isNull()) {
    run.ir_mohm = row.getColumn(22).getDouble();
  }
  run.cell_ir_mohm = CellsFromText(row.getColumn(23).getString());
  run.pack_id = i64(24);
  run.pack_name = row.getColumn(25).getString();
  return run;
}

std::string CellsText(const std::vector<double>& values) {
  std::string text;
  for (const double value : values) {
    std::array<char, 32> digits{};
    const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc()) {
      text += (text.empty() ? "" : " ") + std::string(digits.data(), end);
    }
  }
  return text;
}

std::vector<double> CellsFromText(const std::string& text) {
  std::vector<double> values;
  const char* next = text.data();
  const char* const end = text.data() + text.size();
  while (next < end) {
    double value = 0.0;
    const auto [stop, error] = std::from_chars(next, end, value);
    if (error != std::errc()) {
      break;  // not written by this program: what was read so far stands
    }
    values.push_back(value);
    next = stop;
    while (next < end && *next == ' ') {
      ++next;
    }
  }
  return values;
}

void MarkInterrupted(RunSummary& run) {
  run.end_state = EndState::kInterrupted;
  run.end_text = "Interrupted";
}

}  // namespace korvane::record::detail
