// Checks of the object modules the module accepts (ELF 32-bit, big-endian,
// relocatable, PowerPC) and the lookup of their global symbols. The same
// checks accept the self-test image before it is programmed.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace sim::module {

struct ObjectSymbol {
  uint32_t value = 0;   // st_value
  uint16_t section = 0; // st_shndx
  bool function = false;
};

struct ObjectInfo {
  uint32_t extent = 0;  // bytes up to the end of its last section or its section header table
  std::map<std::string, ObjectSymbol> globals;  // global symbols defined in the object
};

// Checks the object in data[0..size): identification, ET_REL, EM_PPC, the
// section header table and every section inside the bytes. True and *info
// filled when it passes. Reads no byte outside the range.
bool inspectObject(const uint8_t* data, size_t size, ObjectInfo* info);

}  // namespace sim::module
