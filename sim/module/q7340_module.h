// The simulated Q7340 module: its 64-byte A16 register block (Status/Control,
// the FIFO registers of every channel kind) over the message server, the RAM
// files and the flash. It keeps no thread: every register access first brings
// the model up to the shared clock (drains the incoming FIFOs at their rate,
// hands whole frames to the server, releases delayed replies, finishes a boot);
// a block move does so once, at its start.
//
// Register block:
//   0x00 ID, 0x02 device type
//   0x04 Status (read): bit 0 up and channel ready, bit 1 reset requested,
//        bit 2 reset handshake under way, bit 3 VXI Ready when configured.
//        Control (write): 1 starts the reset handshake, 8 ends it (reboot).
//   0x20 32-bit FIFO data: reads the 32-bit outgoing FIFO, writes the 32-bit
//        incoming FIFO (D16: 0x20 the more significant half, then 0x22)
//   0x24 words in the 32-bit incoming FIFO, 0x28 words in the 32-bit outgoing
//   0x2C 16-bit FIFO data, 0x2E 16-bit transfers in the incoming FIFO,
//   0x32 16-bit transfers in the outgoing FIFO
//   0x38 a fixed 16-bit value
//   0x3C receive word, D32 only (its 16-bit halves read 0): bytes waiting in
//        the 32-bit outgoing FIFO, bit 31 when polled portions are asked for
// Every other register is D16 only: a D32 access to it is a bus error.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "sim/device.h"
#include "sim/module/fifo_end.h"
#include "sim/module/module_config.h"
#include "sim/module/module_state.h"

namespace sim::module {

class Q7340Module : public Device {
 public:
  static constexpr uint32_t REG_ID = 0x00;
  static constexpr uint32_t REG_DEVICE_TYPE = 0x02;
  static constexpr uint32_t REG_STATUS = 0x04;
  static constexpr uint32_t REG_FIFO32 = 0x20;
  static constexpr uint32_t REG_IN32_COUNT = 0x24;
  static constexpr uint32_t REG_OUT32_COUNT = 0x28;
  static constexpr uint32_t REG_FIFO16 = 0x2C;
  static constexpr uint32_t REG_IN16_COUNT = 0x2E;
  static constexpr uint32_t REG_OUT16_COUNT = 0x32;
  static constexpr uint32_t REG_AUX16 = 0x38;
  static constexpr uint32_t REG_RX_AVAIL = 0x3C;

  static constexpr uint16_t STATUS_READY = 0x0001;
  static constexpr uint16_t STATUS_RESET_REQUEST = 0x0002;
  static constexpr uint16_t STATUS_HANDSHAKE = 0x0004;
  static constexpr uint16_t STATUS_VXI_READY = 0x0008;
  static constexpr uint16_t CONTROL_START_RESET = 1;
  static constexpr uint16_t CONTROL_END_RESET = 8;

  // Powers up at the present time of the shared clock: up, flash from
  // config.flash. FIFO capacities are taken from the configuration here.
  explicit Q7340Module(const ModuleConfig& config = ModuleConfig{});

  uint16_t read16(uint32_t offset) override;
  void write16(uint32_t offset, uint16_t value) override;
  uint32_t read32(uint32_t offset) override;
  void write32(uint32_t offset, uint32_t value) override;
  void blockMoveStarts() override;
  void blockMoveEnds() override;
  DeviceIdentity identity() const override;
  std::string name() const override { return "q7340"; }

  // Timings, rates and faults; a change takes effect from the next access.
  ModuleConfig& config() { return config_; }
  ModuleFaults& faults() { return config_.faults; }

  // The model brought up to the clock's present, for tests to inspect.
  const ModuleState& state();
  const std::vector<std::string>& log() { return state().log; }
  const FlashRevisions& flash() { return state().flash; }

  // Reboots now, as the reboot request does (logged "reboot").
  void reboot();

  // Raw output for tests and fuzzing: words straight into the outgoing stream
  // of the 16-bit or the 32-bit channel, or one frame [size, tag, payload].
  void queueWords16(const std::vector<uint32_t>& words);
  void queueWords32(const std::vector<uint32_t>& words);
  void queueFrame16(int32_t tag, const std::vector<uint32_t>& payload);
  // Throws away everything on its way to the host on both channels (queued
  // words, FIFO contents, replies not yet released) without a reboot, so that
  // a fuzzer can start each input from an empty outgoing stream.
  void clearOutput();

  // The flash revisions in a state file, without its lock (see state_file.h).
  bool saveState(const std::string& path) const;
  bool loadState(const std::string& path);

  // Brings the model up to elapsedSeconds().
  void catchUp();

 private:
  // One channel: its FIFOs and the replies not yet released to them.
  struct PendingReply {
    double readyAt;
    int32_t tag;
    std::vector<uint32_t> payload;
    bool raw = false;  // payload is the whole output, headers included (a replay)
  };
  struct Channel {
    explicit Channel(FifoEnd end) : fifo(std::move(end)) {}
    FifoEnd fifo;
    double frameAt = 0;                // when the assembler's complete frame arrived
    std::deque<PendingReply> pending;  // in order; released when ready
    bool sendingStopped = false;       // a reply stopped mid-frame: nothing more goes out
  };

  bool channelRunning() const { return state_.up && !state_.inHandshake; }
  // What every register access does first; inside a block move the model
  // stays at the move's start.
  void catchUpForAccess() {
    if (blockMoveDepth_ == 0) catchUp();
  }
  void drain(Channel& channel, double now);
  void handleFrame(Channel& channel, double at);
  void writeStateFile() const;
  void releaseReplies(Channel& channel, double now);
  void emitReply(Channel& channel, const PendingReply& reply);
  void goDown(double at);
  void comeUp(double at);
  uint16_t statusValue(double now) const;
  void writeControl(uint16_t value);
  void hostWrite(Channel& channel, uint32_t unit);
  uint32_t hostRead(Channel& channel, uint32_t emptyValue);
  uint32_t receiveWord() const;
  uint32_t nextGarbageWord();

  ModuleConfig config_;
  ModuleState state_;
  Channel channel16_;
  Channel channel32_;
  uint32_t high32_ = 0;           // D16 write of the 32-bit FIFO: the more significant half
  int blockMoveDepth_ = 0;        // block moves under way in this block
  uint32_t garbageState_ = 1;     // xorshift state of the garbage words
  uint32_t garbageSeed_ = 0;      // the seed garbageState_ started from
};

}  // namespace sim::module
