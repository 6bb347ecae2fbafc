// The text file behind the read-only registry (format in docs/registry.md):
// its location and a defensive parser that turns it into keys and values.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace platform {

struct RegistryValue {
  DWORD type;
  std::vector<BYTE> data;  // REG_SZ includes its terminating NUL
};

// Key paths are canonical: the root's full name and the subkeys, lower case,
// joined by '\'. Value names are lower case; "" is the default value.
struct RegistryData {
  std::map<std::string, std::map<std::string, RegistryValue>> keys;

  // True if the key is listed or has a listed subkey.
  bool HasKey(const std::string& path) const;
  const RegistryValue* FindValue(const std::string& path, const std::string& name) const;
};

// Joins `subKey` (relative, '\'-separated) to the canonical path `base`.
std::string JoinKeyPath(const std::string& base, const char* subKey);

// Parses the file's text. Malformed lines are skipped, as are the values of
// a malformed section header.
RegistryData ParseRegistryText(const std::string& text);

// Reads and parses the registry file; a missing, unreadable or oversized
// file gives an empty registry.
RegistryData LoadRegistryFile();

}  // namespace platform
