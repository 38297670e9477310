// Object modules on the module: the download request (load under a name, run
// the entry point), unloading, and the addresses of their symbols.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/module/module_state.h"

namespace sim::module {

// Message tags that the known entry points add to the message server.
constexpr int32_t TAG_COMMAND = 0x77;
constexpr int32_t TAG_FILE_SIZE = 0x78;
constexpr int32_t TAG_FILE_REMOVE = 0x79;
constexpr int32_t TAG_FILE_READ = 0x7A;
constexpr int32_t TAG_FILE_WRITE = 0x7B;
constexpr int32_t TAG_ROM_REVISIONS = 0x2B;

// Serves a download body: param1, priority, stackSize (big-endian), module
// name, entry name, object bytes, zero padding. Loads the object under its
// name (replacing one of the same name), runs the entry point as a task of
// that priority and stack size and answers 0, or a negative result with
// nothing loaded.
int32_t downloadAndStart(ModuleState& state, const std::vector<uint8_t>& body);

// Unloads the module of that name, with the handlers its entry point added:
// true, or false when none is loaded.
bool unloadModule(ModuleState& state, const std::string& name);
bool moduleIsLoaded(const ModuleState& state, const std::string& name);

// The load address of a global symbol of any loaded module: true and
// *address, or false when no loaded module defines it.
bool symbolAddress(const ModuleState& state, const std::string& name, uint32_t* address);

}  // namespace sim::module
