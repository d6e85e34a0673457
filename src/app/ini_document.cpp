// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/ini_document.h"

#include <cstdint>

namespace korvane::app {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  // A stray carriage return (a last line ending in CR alone, mixed line ends) is blank too.
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) {
      return false;
    }
  }
  return true;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

enum class Kind { kOther, kComment, kSection, kEntry };

// What one line says. Offsets refer to the line's own text, so a value can be replaced in place.
struct Parsed {
  Kind kind = Kind::kOther;
  std::string_view name;  // section name or key
  std::string_view value;
  std::size_t value_begin = 0;
  std::size_t value_end = 0;
};

Parsed ParseLine(const std::string_view line, bool first_line) {
  Parsed parsed;
  std::string_view text = line;
  if (first_line && text.starts_with(kUtf8Bom)) {
    text.remove_prefix(kUtf8Bom.size());
  }
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty()) {
    return parsed;
  }
  if (trimmed.front() == ';' || trimmed.front() == '#') {
    parsed.kind = Kind::kComment;
    return parsed;
  }
  if (trimmed.front() == '[') {
    const std::size_t close = trimmed.rfind(']');
    if (close != std::string_view::npos) {
      parsed.kind = Kind::kSection;
      parsed.name = Trim(trimmed.substr(1, close - 1));
    }
    return parsed;
  }
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    return parsed;
  }
  parsed.kind = Kind::kEntry;
  parsed.name = Trim(text.substr(0, equals));
  const std::string_view raw = Trim(text.substr(equals + 1));
  parsed.value = Unquote(raw);
  if (raw.empty()) {
    // Blanks alone are no spacing to keep: a new value replaces them.
    parsed.value_begin = static_cast<std::size_t>(text.data() - line.data()) + equals + 1;
    parsed.value_end = line.size();
  } else {
    parsed.value_begin = static_cast<std::size_t>(raw.data() - line.data());
    parsed.value_end = parsed.value_begin + raw.size();
  }
  return parsed;
}

}  // namespace

IniDocument IniDocument::Parse(std::string_view text) {
  IniDocument document;
  bool newline_known = false;
  while (!text.empty()) {
    const std::size_t feed = text.find('\n');
    Line line;
    if (feed == std::string_view::npos) {
      line.text = std::string(text);
      text = {};
    } else {
      std::string_view body = text.substr(0, feed);
      line.end = "\n";
      if (!body.empty() && body.back() == '\r') {
        body.remove_suffix(1);
        line.end = "\r\n";
      }
      line.text = std::string(body);
      text.remove_prefix(feed + 1);
      if (!newline_known) {
        document.newline_ = line.end;
        newline_known = true;
      }
    }
    document.lines_.push_back(std::move(line));
  }
  return document;
}

std::optional<std::size_t> IniDocument::FindEntry(std::string_view section,
                                                  std::string_view key) const {
  bool inside = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Parsed parsed = ParseLine(lines_[i].text, i == 0);
    if (parsed.kind == Kind::kSection) {
      inside = EqualNoCase(parsed.name, section);
    } else if (inside && parsed.kind == Kind::kEntry && EqualNoCase(parsed.name, key)) {
      return i;
    }
  }
  return std::nullopt;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  const std::optional<std::size_t> index = FindEntry(section, key);
  if (!index) {
    return std::nullopt;
  }
  return std::string(ParseLine(lines_[*index].text, *index == 0).value);
}

std::vector<std::pair<std::string, std::string>> IniDocument::Entries(
    std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> entries;
  bool inside = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Parsed parsed = ParseLine(lines_[i].text, i == 0);
    if (parsed.kind == Kind::kSection) {
      inside = EqualNoCase(parsed.name, section);
    } else if (inside && parsed.kind == Kind::kEntry) {
      entries.emplace_back(std::string(parsed.name), std::string(parsed.value));
    }
  }
  return entries;
}

std::size_t IniDocument::InsertLine(std::size_t position, std::string text) {
  if (position > 0 && lines_[position - 1].end.empty()) {
    lines_[position - 1].end = newline_;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(position),
                Line{std::move(text), newline_});
  return position + 1;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (const std::optional<std::size_t> index = FindEntry(section, key)) {
    std::string& text = lines_[*index].text;
    const Parsed parsed = ParseLine(text, *index == 0);
    text.replace(parsed.value_begin, parsed.value_end - parsed.value_begin, value);
    return;
  }
  std::string entry = std::string(key) + "=" + std::string(value);

  // After the last line of the first matching section that is neither blank nor a comment, so
  // comments introducing the next section stay with it.
  std::optional<std::size_t> anchor;
  bool inside = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Parsed parsed = ParseLine(lines_[i].text, i == 0);
    if (parsed.kind == Kind::kSection) {
      if (inside) {
        break;
      }
      inside = EqualNoCase(parsed.name, section);
      if (inside) {
        anchor = i;
      }
    } else if (inside && parsed.kind != Kind::kComment && !Trim(lines_[i].text).empty()) {
      anchor = i;
    }
  }
  if (anchor) {
    InsertLine(*anchor + 1, std::move(entry));
    return;
  }
  std::size_t end = lines_.size();
  if (end > 0 && !Trim(lines_[end - 1].text).empty()) {
    end = InsertLine(end, "");
  }
  end = InsertLine(end, "[" + std::string(section) + "]");
  InsertLine(end, std::move(entry));
}

std::string IniDocument::Serialize() const {
  std::string text;
  for (const Line& line : lines_) {
    text += line.text;
    text += line.end;
  }
  return text;
}

std::optional<std::int32_t> ParseProfileInt(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::uint64_t value = 0;
    for (const char c : text.substr(2)) {
      int digit = 0;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (LowerAscii(c) >= 'a' && LowerAscii(c) <= 'f') {
        digit = LowerAscii(c) - 'a' + 10;
      } else {
        return std::nullopt;
      }
      value = value * 16 + static_cast<std::uint64_t>(digit);
      if (value > 0xFFFFFFFFu) {
        return std::nullopt;
      }
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  }
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) {
    return std::nullopt;
  }
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + (c - '0');
    if (value > limit) {
      return std::nullopt;
    }
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace korvane::app
