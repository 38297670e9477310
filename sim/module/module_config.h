// Configuration of the simulated Q7340 module: the flash it starts with, its
// timings and FIFO sizes, and the faults it injects. Tests set the fields
// directly; the presets give the three modules an update meets.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace sim::module {

class FlashStateFile;  // state_file.h
class ModuleReplay;    // replay.h

constexpr int SEGMENT_COUNT = 5;

// What the flash holds: a revision per ROM segment, the lanboot segment's
// revision and the self-test revision recorded by "q7340FlashProgSelftestRev".
struct FlashRevisions {
  int32_t segment[SEGMENT_COUNT] = {0, 0, 0, 0, 0};  // 0 OS, 1-3 FPGAs, 4 self test
  int32_t lanboot = 0;
  int32_t selftestRecorded = 0;
};

// The operating system revision from which a module belongs to the newer
// generation, which keeps a recorded self-test revision.
constexpr int32_t NEWER_GENERATION_OS = 120000;

// A reply frame whose size word lies (applied to every reply while set).
enum class ReplySizeFault {
  None,
  NotMultipleOf4,  // the true size plus 2
  Negative,        // -8
  Huge,            // 0x7FFFFFF0
};

// Deterministic faults. Each applies from the moment it is set until it is
// cleared or, where said, until it fired once.
struct ModuleFaults {
  std::set<int32_t> silentTags;               // requests carried out, their answer never sent
  std::set<std::string> silentCommands;       // the same for command execution, by function name
  std::map<int32_t, double> lateTags;         // extra seconds before the answer to a tag
  std::map<std::string, double> lateCommands; // extra seconds before a command's answer
  std::map<std::string, int32_t> failingCommands;  // function name -> result it returns instead
                                                   // (the flash stays as it was)
  int32_t revisionReplyStatus = 0;            // status word of the 0x2B reply
  int32_t revisionReplyExtraWords = 0;        // 0x2B reply: > 0 adds words, < 0 drops words
  bool rebootNeverCompletes = false;          // bit 0 stays clear after a reboot
  bool readyBitStuck = false;                 // the write of 1 is ignored: bit 0 never clears
  bool handshakeBitNeverSet = false;          // bit 2 never sets during the reset handshake
  bool stopSendingMidFrame = false;           // the next reply stops after half its words,
                                              // and nothing follows it until a reboot
  ReplySizeFault replySize = ReplySizeFault::None;
  uint32_t garbageWordsBeforeReply = 0;       // seeded random words ahead of every reply
  uint32_t seed = 1;                          // seed of the garbage words
};

struct ModuleConfig {
  FlashRevisions flash;                // the flash at power-up
  bool resetRequestAtPowerUp = false;  // Status bit 1 reads 1 until the first reboot or reset
  double drainRate = 2.0e6;            // bytes per second the module takes off each incoming FIFO
  uint32_t incomingCapacity = 1024;    // bytes of the 16-bit incoming FIFO
  uint32_t outgoingCapacity = 4096;    // bytes of the 16-bit outgoing FIFO (below 32768: the
                                       // host forms count x 2 in a signed 16-bit product)
  uint32_t incoming32Capacity = 2048;  // bytes of the 32-bit incoming FIFO
  uint32_t outgoing32Capacity = 8192;  // bytes of the 32-bit outgoing FIFO
  int32_t maxFramePayload = 16 * 1024 * 1024;  // larger announced payloads are refused
  double replyLatency = 0.001;         // seconds from a request's arrival to its answer
  double programTime = 20.0;           // seconds one programming function takes
  double bootTime = 20.0;              // seconds from a reboot to bit 0 set again
  double handshakeTime = 0.05;         // seconds from the write of 1 to bit 2 set
  bool markerBeforeReply = false;      // a word of value 1 ahead of every reply frame
  bool polledPortions = false;         // bit 31 of the receive word at 0x3C
  bool vxiReadyBit = false;            // Status bit 3 (0x0008) reads 1 while up
  uint16_t aux16Value = 0x0000;        // what the register at 0x38 reads
  // Set: every change of the flash is saved to this file (opened, locked and
  // read into `flash` by whoever made the configuration).
  std::shared_ptr<const FlashStateFile> stateFile;
  // Set: the message server plays this recorded module instead of its own
  // handlers (Q7SIM_REPLAY).
  std::shared_ptr<ModuleReplay> replay;
  bool recordFrames = false;           // keep a copy of every frame taken off an incoming FIFO
  ModuleFaults faults;
};

// Flash presets.
FlashRevisions olderModuleFlash();     // OS 100000, older FPGAs and self test
FlashRevisions upToDateFlash();        // the revisions the program carries
FlashRevisions newerGenerationFlash(); // OS 120500, the rest carried, self test recorded

}  // namespace sim::module
