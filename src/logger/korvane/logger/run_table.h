#pragma once

#include <string>

#include "korvane/record/run.h"

namespace korvane::logger {

// The runs listing: tab-separated, one line per run, texts of the current C locale as the
// window writes them.
std::string RunTableHeader();
std::string RunTableLine(const record::RunSummary& run);

// The run's peak temperature with its unit, like the live view: "25.0°C".
std::string PeakTemperatureText(const record::RunSummary& run);

}  // namespace korvane::logger
