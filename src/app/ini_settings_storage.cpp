// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/ini_settings_storage.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "korvane/app/file_access.h"
#include "korvane/fileio/atomic_file.h"

namespace korvane::app {
namespace {

constexpr const char* kGlobal = "GLOBAL";
constexpr const char* kPorts = "PORTS";
constexpr const char* kRecording = "RECORDING";
constexpr const char* kNotify = "NOTIFY";
constexpr const char* kRuns = "RUNS";
constexpr const char* kPacks = "PACKS";
constexpr const char* kExport = "EXPORT";
constexpr const char* kCommPort = "CommPort";
constexpr const char* kChannel = "Channel";
constexpr const char* kChartValuesMask = "ChartValuesMask";
constexpr int kMaxPort = 99;

std::int32_t ReadInt(const IniDocument& document, const char* key, std::int32_t fallback) {
  const std::optional<std::string> text = document.Get(kGlobal, key);
  if (!text) {
    return fallback;
  }
  return ParseProfileInt(*text).value_or(fallback);
}

std::int32_t InRange(std::int32_t value, std::int32_t low, std::int32_t high) {
  return value < low || value > high ? 1 : value;
}

// The port number of a "COM<n>" key, or 0.
int PortNumber(const std::string& key) {
  if (key.size() < 4 || key.size() > 5) {
    return 0;
  }
  for (std::size_t i = 0; i < 3; ++i) {
    if ((key[i] | 0x20) != "com"[i]) {
      return 0;
    }
  }
  int number = 0;
  for (std::size_t i = 3; i < key.size(); ++i) {
    if (key[i] < '0' || key[i] > '9') {
      return 0;
    }
    number = number * 10 + (key[i] - '0');
  }
  return number >= 1 && number <= kMaxPort ? number : 0;
}

constexpr std::int32_t kMaxWindowSize = 16384;
constexpr std::uint32_t kAllReviewSeries = (1u << 12) - 1;

// The RUNS value of `key` when it lies in low..high.
std::optional<std::int32_t> ReadRunsInt(const IniDocument& document, const char* key,
                                        std::int32_t low, std::int32_t high) {
  const std::optional<std::string> text = document.Get(kRuns, key);
  const std::optional<std::int32_t> value = text ? ParseProfileInt(*text) : std::nullopt;
  if (!value || *value < low || *value > high) {
    return std::nullopt;
  }
  return value;
}

// "<a>,<b>" with both in 0..kMaxWindowSize; anything else gives nothing.
std::vector<int> ParseSplitterSizes(std::string_view text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos) {
    return {};
  }
  std::vector<int> sizes;
  for (const std::string_view part : {text.substr(0, comma), text.substr(comma + 1)}) {
    const std::optional<std::int32_t> size = ParseProfileInt(part);
    if (!size || *size < 0 || *size > kMaxWindowSize) {
      return {};
    }
    sizes.push_back(*size);
  }
  return sizes;
}

}  // namespace

korvane::ui::WindowSettings ReadWindowSettings(const IniDocument& document) {
  korvane::ui::WindowSettings settings;
  const korvane::ui::WindowSettings defaults;
  settings.CommPort = InRange(ReadInt(document, kCommPort, defaults.CommPort), 1, kMaxPort);
  settings.Channel = InRange(ReadInt(document, kChannel, defaults.Channel), 1, 2);
  settings.ChartValuesMask = static_cast<std::uint32_t>(
      ReadInt(document, kChartValuesMask, static_cast<std::int32_t>(defaults.ChartValuesMask)));
  return settings;
}

void WriteWindowSettings(IniDocument& document, const korvane::ui::WindowSettings& settings) {
  document.Set(kGlobal, kCommPort, std::to_string(settings.CommPort));
  document.Set(kGlobal, kChannel, std::to_string(settings.Channel));
  document.Set(kGlobal, kChartValuesMask,
               std::to_string(static_cast<std::int32_t>(settings.ChartValuesMask)));
}

std::map<int, std::string> ReadPortOverrides(const IniDocument& document) {
  std::map<int, std::string> overrides;
  for (const auto& [key, path] : document.Entries(kPorts)) {
    const int number = PortNumber(key);
    if (number != 0 && !path.empty()) {
      overrides.emplace(number, path);  // the first of duplicate keys wins
    }
  }
  return overrides;
}

korvane::ui::RecordingSettings ReadRecordingSettings(const IniDocument& document) {
  korvane::ui::RecordingSettings settings;
  if (const std::optional<std::string> enabled = document.Get(kRecording, "Enabled")) {
    settings.Enabled = ParseProfileInt(*enabled).value_or(1) != 0;
  }
  settings.File = document.Get(kRecording, "File").value_or("");
  return settings;
}

korvane::ui::NotifySettings ReadNotifySettings(const IniDocument& document) {
  korvane::ui::NotifySettings settings;
  if (const std::optional<std::string> enabled = document.Get(kNotify, "Enabled")) {
    settings.Enabled = ParseProfileInt(*enabled).value_or(1) != 0;
  }
  return settings;
}

korvane::publish::BrokerChoice ReadMqttSettings(const IniDocument& document) {
  const auto get = [&](const char* key) { return document.Get("MQTT", key).value_or(""); };
  return {.address = get("Host"),
          .topic = get("Topic"),
          .user = get("User"),
          .password_file = get("PasswordFile"),
          .cafile = get("CAFile"),
          .discovery = get("Discovery")};
}

korvane::ui::RunsWindowSettings ReadRunsWindowSettings(const IniDocument& document) {
  korvane::ui::RunsWindowSettings settings;
  settings.Width = ReadRunsInt(document, "Width", 300, kMaxWindowSize).value_or(settings.Width);
  settings.Height = ReadRunsInt(document, "Height", 200, kMaxWindowSize).value_or(settings.Height);
  if (const std::optional<std::string> splitter = document.Get(kRuns, "Splitter")) {
    settings.SplitterSizes = ParseSplitterSizes(*splitter);
  }
  if (const std::optional<std::string> series = document.Get(kRuns, "Series")) {
    const std::optional<std::int32_t> mask = ParseProfileInt(*series);
    if (mask && (static_cast<std::uint32_t>(*mask) & ~kAllReviewSeries) == 0) {
      settings.SeriesMask = static_cast<std::uint32_t>(*mask);
    }
  }
  settings.Channel = ReadRunsInt(document, "Channel", 0, 2).value_or(settings.Channel);
  return settings;
}

void WriteRunsWindowSettings(IniDocument& document,
                             const korvane::ui::RunsWindowSettings& settings) {
  document.Set(kRuns, "Width", std::to_string(settings.Width));
  document.Set(kRuns, "Height", std::to_string(settings.Height));
  std::string splitter;
  for (const int size : settings.SplitterSizes) {
    splitter += (splitter.empty() ? "" : ",") + std::to_string(size);
  }
  document.Set(kRuns, "Splitter", splitter);
  document.Set(kRuns, "Series", std::to_string(settings.SeriesMask));
  document.Set(kRuns, "Channel", std::to_string(settings.Channel));
}

korvane::ui::PacksWindowSettings ReadPacksWindowSettings(const IniDocument& document) {
  korvane::ui::PacksWindowSettings settings;
  const auto read = [&](const char* key, std::int32_t low, std::int32_t fallback) {
    const std::optional<std::string> text = document.Get(kPacks, key);
    const std::optional<std::int32_t> value = text ? ParseProfileInt(*text) : std::nullopt;
    return value && *value >= low && *value <= kMaxWindowSize ? *value : fallback;
  };
  settings.Width = read("Width", 300, settings.Width);
  settings.Height = read("Height", 200, settings.Height);
  if (const std::optional<std::string> splitter = document.Get(kPacks, "Splitter")) {
    settings.SplitterSizes = ParseSplitterSizes(*splitter);
  }
  return settings;
}

void WritePacksWindowSettings(IniDocument& document,
                              const korvane::ui::PacksWindowSettings& settings) {
  document.Set(kPacks, "Width", std::to_string(settings.Width));
  document.Set(kPacks, "Height", std::to_string(settings.Height));
  std::string splitter;
  for (const int size : settings.SplitterSizes) {
    splitter += (splitter.empty() ? "" : ",") + std::to_string(size);
  }
  document.Set(kPacks, "Splitter", splitter);
}

korvane::ui::ExportSettings ReadExportSettings(const IniDocument& document) {
  return {.Folder = document.Get(kExport, "Folder").value_or("")};
}

void WriteExportSettings(IniDocument& document, const korvane::ui::ExportSettings& settings) {
  const std::string& folder = settings.Folder;
  // A line break would end the entry early and could forge others: such a folder is forgotten.
  if (folder.find_first_of("\r\n") != std::string::npos) {
    document.Set(kExport, "Folder", "");
    return;
  }
  // Reading trims blanks and removes one pair of enclosing quotes: quotes keep both intact.
  const auto loose = [](char c) { return c == ' ' || c == '\t' || c == '"'; };
  const bool quote = !folder.empty() && (loose(folder.front()) || loose(folder.back()));
  document.Set(kExport, "Folder", quote ? '"' + folder + '"' : folder);
}

IniSettingsStorage::IniSettingsStorage(std::string file_name) : file_name_(std::move(file_name)) {}

IniDocument IniSettingsStorage::ReadDocument() const {
  const FileContents contents = ReadRegularFile(file_name_);
  if (contents.status != FileContents::Status::kRead) {
    return IniDocument{};
  }
  return IniDocument::Parse(contents.bytes);
}

korvane::ui::WindowSettings IniSettingsStorage::Load() {
  return ReadWindowSettings(ReadDocument());
}

std::map<int, std::string> IniSettingsStorage::PortOverrides() {
  return ReadPortOverrides(ReadDocument());
}

korvane::ui::RecordingSettings IniSettingsStorage::Recording() {
  return ReadRecordingSettings(ReadDocument());
}

void IniSettingsStorage::Save(const korvane::ui::WindowSettings& settings) {
  Rewrite([&](IniDocument& document) { WriteWindowSettings(document, settings); });
}

korvane::ui::NotifySettings IniSettingsStorage::Notify() {
  return ReadNotifySettings(ReadDocument());
}

korvane::publish::BrokerChoice IniSettingsStorage::Mqtt() {
  return ReadMqttSettings(ReadDocument());
}

korvane::ui::RunsWindowSettings IniSettingsStorage::RunsWindow() {
  return ReadRunsWindowSettings(ReadDocument());
}

void IniSettingsStorage::SaveRunsWindow(const korvane::ui::RunsWindowSettings& settings) {
  Rewrite([&](IniDocument& document) { WriteRunsWindowSettings(document, settings); });
}

korvane::ui::PacksWindowSettings IniSettingsStorage::PacksWindow() {
  return ReadPacksWindowSettings(ReadDocument());
}

void IniSettingsStorage::SavePacksWindow(const korvane::ui::PacksWindowSettings& settings) {
  Rewrite([&](IniDocument& document) { WritePacksWindowSettings(document, settings); });
}

korvane::ui::ExportSettings IniSettingsStorage::Export() {
  return ReadExportSettings(ReadDocument());
}

void IniSettingsStorage::SaveExport(const korvane::ui::ExportSettings& settings) {
  Rewrite([&](IniDocument& document) { WriteExportSettings(document, settings); });
}

void IniSettingsStorage::Rewrite(const std::function<void(IniDocument&)>& change) {
  const std::string prefix = "Unable to write to " + file_name_ + ": ";
  // An existing file that cannot be read is not replaced: its contents would be lost.
  const FileContents contents = ReadRegularFile(file_name_);
  if (contents.status == FileContents::Status::kFailed) {
    throw std::runtime_error(prefix + contents.reason);
  }
  IniDocument document = IniDocument::Parse(contents.bytes);
  change(document);
  const std::size_t slash = file_name_.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    MakeDirectories(file_name_.substr(0, slash));
  }
  try {
    fileio::WriteFileAtomically(file_name_, document.Serialize());
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(prefix + error.what());
  }
}

}  // namespace korvane::app
