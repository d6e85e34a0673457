// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvane::chart {

// Characters up to and including the space count as blanks, as in captions typed by users.
std::string_view TrimBlanks(std::string_view text);

// The caption, trimmed, split at line breaks (CR, LF or CR LF), each line trimmed. An empty
// caption has no lines.
std::vector<std::string_view> CaptionLines(std::string_view caption);

}  // namespace korvane::chart
