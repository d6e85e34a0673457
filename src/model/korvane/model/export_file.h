// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "korvane/model/record.h"

namespace korvane::model {

// The tab-separated export: a header line of 29 titles, then one line of 29 fields per record,
// every line ending in CR LF; no quoting, no byte-order mark. Numbers and dates follow the
// current C locale.
std::string ExportHeaderLine();
std::string ExportLine(const S_HARDWARE_DATA& record);
std::string ExportText(const std::vector<S_HARDWARE_DATA>& records);

// Writes ExportText(records) to `file_name` through fileio::WriteFileAtomically, which leaves a
// regular file as it was when the write fails. Also written, in place and so without that
// guarantee: a character device (a terminal, /dev/null) and a file the user may write in a folder
// they may not. Anything else that is not a regular file is refused without being opened. Throws
// std::runtime_error naming the file and the reason.
void WriteExportFile(const std::string& file_name, const std::vector<S_HARDWARE_DATA>& records);

}  // namespace korvane::model
