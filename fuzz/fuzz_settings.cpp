// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file reader and writer fed any file content: loading never fails, and a save
// changes the three settings and nothing else.
#include <cstdlib>
#include <string>

#include "korvane/app/ini_document.h"
#include "korvane/app/ini_settings_storage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  auto document = korvane::app::IniDocument::Parse(text);
  if (document.Serialize() != text) {
    std::abort();  // an untouched document must write back byte for byte
  }
  const auto loaded = korvane::app::ReadWindowSettings(document);
  (void)korvane::app::ReadPortOverrides(document);
  if (loaded.CommPort < 1 || loaded.CommPort > 99 || loaded.Channel < 1 || loaded.Channel > 2) {
    std::abort();
  }
  korvane::ui::WindowSettings changed{42, 2, 0x1FFu ^ loaded.ChartValuesMask};
  korvane::app::WriteWindowSettings(document, changed);
  const auto saved = korvane::app::IniDocument::Parse(document.Serialize());
  const auto reread = korvane::app::ReadWindowSettings(saved);
  if (reread.CommPort != 42 || reread.Channel != 2 ||
      reread.ChartValuesMask != changed.ChartValuesMask) {
    std::abort();
  }
  if (korvane::app::ReadPortOverrides(saved) != korvane::app::ReadPortOverrides(document)) {
    std::abort();
  }
  return 0;
}
