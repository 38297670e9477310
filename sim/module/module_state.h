// The one record that holds everything the simulated module knows: power and
// handshake state, the server's loaded object modules and RAM files, the
// flash, the event log and the counters of host mistakes. The register block
// (q7340_module.cpp) and the message server (message_server.cpp) work on it.
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/module/frame_assembler.h"
#include "sim/module/module_config.h"

namespace sim::module {

// An object module the host downloaded and started.
struct LoadedModule {
  std::string name;                         // name the host gave it ("dldmsgLib.out")
  std::string entry;                        // entry point that ran at load
  uint32_t objectBytes = 0;                 // length of the object kept (its ELF extent)
  std::map<std::string, uint32_t> symbols;  // its global symbols at their load addresses
  std::set<int32_t> tags;                   // message tags its entry point added to the server
};

// Counters of what the host did wrong or the model refused; tests read them.
struct ModuleCounters {
  uint64_t overflowWrites = 0;   // writes to a full incoming FIFO, dropped
  uint64_t emptyReads = 0;       // reads of an empty outgoing FIFO (answered all ones)
  uint64_t writesWhileDown = 0;  // FIFO writes while the module was down, dropped
  uint64_t badSizeWords = 0;     // incoming size words refused by the frame assembler
  uint64_t unservedFrames = 0;   // frames whose tag no handler serves (no answer)
  uint64_t controlWrites = 0;    // writes to the Control register
};

constexpr double NEVER = std::numeric_limits<double>::infinity();

struct ModuleState {
  // Power and reset.
  bool up = true;                  // running: Status bit 0 reads 1 (unless in the handshake)
  double bootDoneAt = 0;           // while down: when bit 0 sets again (NEVER: it does not)
  bool resetRequested = false;     // Status bit 1
  bool inHandshake = false;        // between the write of 1 and the write of 8
  double handshakeBitAt = NEVER;   // when Status bit 2 sets during the handshake
  double busyUntil = 0;            // the message server executes a command until then

  // Message server.
  std::vector<LoadedModule> loaded;                        // in load order
  std::map<std::string, std::vector<uint8_t>> files;       // the RAM file system
  uint32_t nextLoadAddress = 0x00400000;                   // where the next object goes

  // Flash: survives reboots.
  FlashRevisions flash;

  // Event log, in order: "store NAME", "remove NAME", "program N REV",
  // "program lanboot REV", "selftest-rev REV", "load NAME",
  // "start ENTRY param1=P priority=Q stackSize=S",
  // "unload NAME", "reboot", "reset".
  std::vector<std::string> log;

  ModuleCounters counters;

  // Every frame taken off an incoming FIFO, in order, when the configuration
  // asks for them (tests of the host's channel).
  std::vector<Frame> frames;
};

}  // namespace sim::module
