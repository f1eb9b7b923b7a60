// The native build's registry: one SQLite file of typed values, one row per
// key and value name with the value's type and raw bytes. The process finds
// it through GRIDWREN_REGISTRY, as a Windows process finds its user's hive.
// These administrative operations belong to whoever plays the system (the
// stand-in host, tests); the plug-in itself only opens existing keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/codepage.h"

namespace gw {

constexpr const char* kRegistryEnvironment = "GRIDWREN_REGISTRY";

struct RegistryEntry {
  WideString name;
  uint32_t type = 0;
  std::string data;
};

// Each returns false, with a reason in *error when given, on failure.
bool CreateRegistryFile(const std::string& file, std::string* error = nullptr);
bool CreateRegistryKey(const std::string& file, WideView key, std::string* error = nullptr);
bool DeleteRegistryKey(const std::string& file, WideView key, std::string* error = nullptr);
bool ListRegistryValues(const std::string& file, WideView key, std::vector<RegistryEntry>* out,
                        std::string* error = nullptr);

}  // namespace gw
