// Checks of Motorola S-record images before the module programs them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim::module {

// True when data[0..size) is lines of S-records (ending LF or CR LF) whose hex
// digits, counts and checksums are sound: an optional S0 header first, then
// at least one data record of type dataType ('2' or '3') and nothing else,
// then one S9 end record and nothing after it but line ends.
bool srecordImageIsSound(const uint8_t* data, size_t size, char dataType);

}  // namespace sim::module
