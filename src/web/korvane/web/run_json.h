// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "korvane/record/run.h"

namespace korvane::web {

// One run as the runs listing and the page know it: the object of the MQTT run message, with the
// store's identity (left out when empty), on one line.
std::string RunJson(const record::RunSummary& run, const std::string& store_identity);

// The runs as a JSON array, one run per line: "[\n{...},\n{...}\n]\n", or "[]\n".
std::string RunArrayJson(const std::vector<record::RunSummary>& runs,
                         const std::string& store_identity);

// A page of the runs: {"total":N,"offset":O,"runs":[RUN,...]} with the runs as given.
std::string RunPageJson(const std::vector<record::RunSummary>& page, std::int64_t total,
                        std::int64_t offset, const std::string& store_identity);

}  // namespace korvane::web
