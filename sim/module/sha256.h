// SHA-256 of a byte string, as lower-case hexadecimal: how a replayed module
// recognises the request bodies of its record (sim/module/replay.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::module {

std::string sha256Hex(const std::vector<uint8_t>& bytes);

}  // namespace sim::module
