// Parser for the registry text file. The file is untrusted: each line is
// checked as a whole and anything malformed is skipped, never half-applied.
#include "registry_file.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace platform {
namespace {

constexpr size_t kMaxFileBytes = 1 << 20;
constexpr size_t kMaxKeyComponent = 255;  // Windows' limit for one key name

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

std::optional<std::string> CanonicalRoot(std::string_view root) {
  std::string lower = Lower(root);
  if (lower == "hkey_local_machine" || lower == "hklm") return "hkey_local_machine";
  if (lower == "hkey_current_user" || lower == "hkcu") return "hkey_current_user";
  if (lower == "hkey_classes_root" || lower == "hkcr") return "hkey_classes_root";
  if (lower == "hkey_users" || lower == "hku") return "hkey_users";
  return std::nullopt;
}

// Appends the '\'-separated components of `path` to `out`; empty
// components are skipped. False if a component is too long.
bool AppendComponents(std::string& out, std::string_view path) {
  while (!path.empty()) {
    size_t end = path.find('\\');
    std::string_view component = path.substr(0, end);
    if (component.size() > kMaxKeyComponent) return false;
    // Appended in two steps: no temporary, and no prepend into one, which
    // GCC 12 at -O3 misreads as an overlapping copy (-Wrestrict).
    if (!component.empty()) {
      out += '\\';
      out += Lower(component);
    }
    if (end == std::string_view::npos) break;
    path.remove_prefix(end + 1);
  }
  return true;
}

std::optional<std::string> ParseSection(std::string_view line) {
  std::string_view inside = line.substr(1, line.size() - 2);
  size_t end = inside.find('\\');
  std::optional<std::string> path = CanonicalRoot(inside.substr(0, end));
  if (!path) return std::nullopt;
  if (end != std::string_view::npos && !AppendComponents(*path, inside.substr(end + 1))) return std::nullopt;
  return path;
}

// Reads a quoted string with \\ and \" escapes from the front of `text`.
std::optional<std::string> TakeQuoted(std::string_view& text) {
  if (text.empty() || text.front() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      text.remove_prefix(i + 1);
      return out;
    }
    if (c == '\\') {
      if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) return std::nullopt;
      c = text[++i];
    }
    out += c;
  }
  return std::nullopt;  // no closing quote
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::optional<RegistryValue> ParseDword(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return RegistryValue{REG_DWORD, {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                                   static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)}};
}

std::optional<RegistryValue> ParseHex(std::string_view list) {
  RegistryValue value{REG_BINARY, {}};
  if (Trim(list).empty()) return value;
  while (true) {
    size_t end = list.find(',');
    std::string_view item = Trim(list.substr(0, end));
    if (item.empty() || item.size() > 2) return std::nullopt;
    int high = HexDigit(item[0]);
    int low = item.size() == 2 ? HexDigit(item[1]) : 0;
    if (high < 0 || low < 0) return std::nullopt;
    value.data.push_back(static_cast<BYTE>(item.size() == 2 ? high << 4 | low : high));
    if (end == std::string_view::npos) return value;
    list.remove_prefix(end + 1);
  }
}

std::optional<RegistryValue> ParseData(std::string_view data) {
  if (!data.empty() && data.front() == '"') {
    std::optional<std::string> text = TakeQuoted(data);
    if (!text || !Trim(data).empty()) return std::nullopt;
    RegistryValue value{REG_SZ, std::vector<BYTE>(text->begin(), text->end())};
    value.data.push_back(0);
    return value;
  }
  std::string lower = Lower(data);
  if (lower.starts_with("dword:")) return ParseDword(data.substr(6));
  if (lower.starts_with("hex:")) return ParseHex(data.substr(4));
  return std::nullopt;
}

// Parses `"Name"=data` or `@=data` into `values`.
void ParseValueLine(std::string_view line, std::map<std::string, RegistryValue>& values) {
  std::string name;
  if (line.front() == '@') {
    line.remove_prefix(1);
  } else {
    std::optional<std::string> quoted = TakeQuoted(line);
    if (!quoted) return;
    name = Lower(*quoted);
  }
  line = Trim(line);
  if (line.empty() || line.front() != '=') return;
  std::optional<RegistryValue> value = ParseData(Trim(line.substr(1)));
  if (value) values[name] = std::move(*value);
}

}  // namespace

bool RegistryData::HasKey(const std::string& path) const {
  if (keys.count(path)) return true;
  std::string prefix = path + "\\";
  auto it = keys.lower_bound(prefix);
  return it != keys.end() && it->first.starts_with(prefix);
}

const RegistryValue* RegistryData::FindValue(const std::string& path, const std::string& name) const {
  auto key = keys.find(path);
  if (key == keys.end()) return nullptr;
  auto value = key->second.find(Lower(name));
  return value == key->second.end() ? nullptr : &value->second;
}

std::string JoinKeyPath(const std::string& base, const char* subKey) {
  std::string path = base;
  if (subKey && !AppendComponents(path, subKey)) return {};
  return path;
}

RegistryData ParseRegistryText(const std::string& text) {
  RegistryData data;
  std::map<std::string, RegistryValue>* section = nullptr;  // null: values are skipped
  std::string_view rest(text);
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);  // UTF-8 byte order mark
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = Trim(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      std::optional<std::string> path;
      if (line.back() == ']') path = ParseSection(line);
      section = path ? &data.keys[*path] : nullptr;
    } else if (section) {
      ParseValueLine(line, *section);
    }
  }
  return data;
}

RegistryData LoadRegistryFile() {
  std::string path;
  if (const char* file = std::getenv("VKT_REGISTRY_FILE"); file && *file) {
    path = file;
  } else if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
    path = std::string(config) + "/vkt7100sdk/registry.txt";
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    path = std::string(home) + "/.config/vkt7100sdk/registry.txt";
  } else {
    return {};
  }
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return {};
  std::string text;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && text.size() <= kMaxFileBytes) {
    text.append(chunk, got);
  }
  std::fclose(file);
  if (text.size() > kMaxFileBytes) return {};
  return ParseRegistryText(text);
}

}  // namespace platform
