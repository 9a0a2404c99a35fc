#include "lang/ini_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "lang/text_encoding.h"

namespace korvex {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

std::string_view unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::optional<std::string_view> lookUp(std::string_view text, std::string_view section, std::string_view key) {
  const std::string_view wantedSection = trim(section);
  const std::string_view wantedKey = trim(key);
  bool inSection = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string_view name = line.substr(1, close == std::string_view::npos ? line.npos : close - 1);
      inSection = sameName(trim(name), wantedSection);
      continue;
    }
    if (!inSection) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (sameName(trim(line.substr(0, equals)), wantedKey)) return unquote(trim(line.substr(equals + 1)));
  }
  return std::nullopt;
}

}  // namespace

std::string readIniFileText(const char* path) {
  if (path == nullptr) return {};
  FilePtr file(std::fopen(path, "rb"));
  if (!file) return {};
  std::string bytes;
  char chunk[8192];
  bool cut = true;
  while (bytes.size() < INI_MAX_FILE_BYTES) {
    const std::size_t wanted = std::min(sizeof chunk, INI_MAX_FILE_BYTES - bytes.size());
    const std::size_t got = std::fread(chunk, 1, wanted, file.get());
    bytes.append(chunk, got);
    if (got < wanted) {
      cut = false;
      break;
    }
  }
  // An oversized file loses its last, incomplete line, which could also end
  // inside a character and spoil the encoding test.
  if (cut && std::fgetc(file.get()) != EOF) bytes.erase(std::min(bytes.size(), bytes.rfind('\n') + 1));
  std::string_view text = bytes;
  if (text.substr(0, UTF8_BOM.size()) == UTF8_BOM) text.remove_prefix(UTF8_BOM.size());
  if (isValidUtf8(text)) return std::string(text);
  return gb18030ToUtf8(text);
}

std::string findIniValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view defaultValue) {
  return std::string(lookUp(text, section, key).value_or(defaultValue));
}

std::size_t readIniValue(const char* path, std::string_view section, std::string_view key,
                         std::string_view defaultValue, char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  const std::string text = readIniFileText(path);
  const std::string value = findIniValue(text, section, key, defaultValue);
  const std::size_t length = utf8PrefixLength(value, capacity - 1);
  std::memcpy(buffer, value.data(), length);
  buffer[length] = '\0';
  return length;
}

}  // namespace korvex
