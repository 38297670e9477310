// The module's RAM file system as the file requests see it: write, read,
// size and remove. Files live in ModuleState::files until removed or a reboot.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/module/module_state.h"

namespace sim::module {

// 0x7B: length word, name, bytes, 0x0A padding to a whole word. 0, or a
// negative result.
int32_t fileWrite(ModuleState& state, const std::vector<uint8_t>& body);
// 0x7A: name. The reply payload: status 0, size, the bytes packed big-endian
// and padded with zeros; or a negative status word alone.
std::vector<uint32_t> fileRead(const ModuleState& state, const std::vector<uint8_t>& body);
// 0x78: name and zero padding. The size, or a negative result.
int32_t fileSize(const ModuleState& state, const std::vector<uint8_t>& body);
// 0x79: name and zero padding. Removes the file, or else unloads the loaded
// module of that name: 0, or a negative result.
int32_t fileRemove(ModuleState& state, const std::vector<uint8_t>& body);

}  // namespace sim::module
