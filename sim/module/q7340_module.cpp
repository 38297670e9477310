// The register block of the simulated Q7340 module and its time model.
//
// Divisions: construction and identity; the time model (catchUp, drain,
// frames, replies, reboot); register access; test and persistence API.
#include "sim/module/q7340_module.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/clock.h"
#include "sim/module/message_server.h"
#include "sim/module/replay.h"
#include "sim/module/state_file.h"

namespace sim::module {

namespace {
constexpr double MAX_UNITS_PER_STEP = 1.0e12;  // bounds a drain step for a huge rate

bool sameFlash(const FlashRevisions& a, const FlashRevisions& b) {
  return std::equal(std::begin(a.segment), std::end(a.segment), std::begin(b.segment)) &&
         a.lanboot == b.lanboot && a.selftestRecorded == b.selftestRecorded;
}
}  // namespace

// ---- Construction and identity ---------------------------------------------

Q7340Module::Q7340Module(const ModuleConfig& config)
    : config_(config),
      channel16_(FifoEnd(2, config.incomingCapacity, config.outgoingCapacity,
                         config.maxFramePayload)),
      channel32_(FifoEnd(4, config.incoming32Capacity, config.outgoing32Capacity,
                         config.maxFramePayload)) {
  state_.flash = config.flash;
  state_.resetRequested = config.resetRequestAtPowerUp;
  comeUp(elapsedSeconds());
  if (config.replay != nullptr) channel16_.fifo.send(config.replay->powerUpWords());
}

DeviceIdentity Q7340Module::identity() const {
  DeviceIdentity id;
  id.manfId = 0x0E7A;
  id.modelCode = 0x0734;
  id.slot = 2;
  id.memSpace = 2;  // VI_A24_SPACE
  id.memBase = 0x200000;
  id.memSize = 0x40000;
  // D32 only at the 32-bit FIFO data register and the receive word.
  id.d32Registers = 1u << (REG_FIFO32 / 4) | 1u << (REG_RX_AVAIL / 4);
  id.modelName = "Q7340";
  return id;
}

// ---- Time model --------------------------------------------------------------

void Q7340Module::catchUp() {
  const double now = elapsedSeconds();
  for (;;) {
    if (!state_.up) {
      if (state_.bootDoneAt > now) break;
      comeUp(state_.bootDoneAt);
      continue;
    }
    if (state_.inHandshake) break;  // the channel stands still until the write of 8
    bool handled = false;
    for (Channel* channel : {&channel16_, &channel32_}) {
      if (!channel->fifo.assembler().hasFrame()) drain(*channel, now);
      if (channel->fifo.assembler().hasFrame() && state_.busyUntil <= now) {
        handleFrame(*channel, std::max(channel->frameAt, state_.busyUntil));
        handled = true;
        break;
      }
    }
    if (!handled) break;
  }
  if (channelRunning()) {
    releaseReplies(channel16_, now);
    releaseReplies(channel32_, now);
  }
  state_.counters.badSizeWords =
      channel16_.fifo.assembler().badSizeWords() + channel32_.fifo.assembler().badSizeWords();
}

// Moves what the drain rate allows since the last drain (and outside any busy
// time) into the assembler. When a frame completes, the drain stops at the
// moment the frame's last transfer was taken.
void Q7340Module::drain(Channel& channel, double now) {
  FifoEnd& fifo = channel.fifo;
  double from = std::max(fifo.drainedUntil, state_.busyUntil);
  if (from > fifo.drainedUntil) fifo.credit = 0;
  if (now <= from) return;
  const double rate = config_.drainRate;
  if (rate <= 0) {
    fifo.drainedUntil = now;
    fifo.credit = 0;
    return;
  }
  double credit = fifo.credit + (now - from) * rate;
  double units = std::min(std::floor(credit / fifo.unitBytes()), MAX_UNITS_PER_STEP);
  uint64_t moved = fifo.drain(static_cast<uint64_t>(units));
  credit -= static_cast<double>(moved) * fifo.unitBytes();
  if (fifo.assembler().hasFrame()) {
    channel.frameAt = std::max(from, now - credit / rate);
    fifo.drainedUntil = channel.frameAt;
    fifo.credit = 0;
  } else {
    fifo.drainedUntil = now;
    fifo.credit = fifo.incomingUnits() == 0 ? 0 : credit;
  }
}

void Q7340Module::handleFrame(Channel& channel, double at) {
  Frame frame = channel.fifo.assembler().take();
  if (config_.recordFrames) state_.frames.push_back(frame);
  FlashRevisions flashBefore = state_.flash;
  ServerAnswer answer = serveRequest(state_, config_, frame);
  if (config_.stateFile != nullptr && !sameFlash(flashBefore, state_.flash)) writeStateFile();
  state_.busyUntil = at + answer.busySeconds;
  if (answer.reply) {
    double readyAt = state_.busyUntil + config_.replyLatency + answer.delaySeconds;
    channel.pending.push_back({readyAt, frame.tag, std::move(answer.payload), answer.raw});
  }
  if (answer.reboot) {
    state_.log.push_back("reboot");
    goDown(at);
    if (answer.stayDown) state_.bootDoneAt = NEVER;
  }
}

void Q7340Module::releaseReplies(Channel& channel, double now) {
  while (!channel.sendingStopped && !channel.pending.empty() &&
         channel.pending.front().readyAt <= now) {
    emitReply(channel, channel.pending.front());
    channel.pending.pop_front();
  }
}

// The reply frame with what the configuration and the faults put around it.
void Q7340Module::emitReply(Channel& channel, const PendingReply& reply) {
  if (reply.raw) {
    channel.fifo.send(reply.payload);
    return;
  }
  ModuleFaults& faults = config_.faults;
  std::vector<uint32_t> words;
  for (uint32_t i = 0; i < faults.garbageWordsBeforeReply; ++i) words.push_back(nextGarbageWord());
  if (config_.markerBeforeReply) words.push_back(1);
  uint32_t size = static_cast<uint32_t>(reply.payload.size() * 4);
  switch (faults.replySize) {
    case ReplySizeFault::None: break;
    case ReplySizeFault::NotMultipleOf4: size += 2; break;
    case ReplySizeFault::Negative: size = static_cast<uint32_t>(-8); break;
    case ReplySizeFault::Huge: size = 0x7FFFFFF0u; break;
  }
  words.push_back(size);
  words.push_back(static_cast<uint32_t>(reply.tag));
  words.insert(words.end(), reply.payload.begin(), reply.payload.end());
  if (faults.stopSendingMidFrame) {
    words.resize(words.size() / 2);
    channel.sendingStopped = true;
    faults.stopSendingMidFrame = false;
  }
  channel.fifo.send(words);
}

// A reboot: libraries, their handlers, RAM files, FIFOs and pending replies
// are gone; the flash stays.
void Q7340Module::goDown(double at) {
  state_.up = false;
  state_.bootDoneAt = config_.faults.rebootNeverCompletes ? NEVER : at + config_.bootTime;
  state_.resetRequested = false;
  state_.inHandshake = false;
  state_.handshakeBitAt = NEVER;
  state_.loaded.clear();
  state_.files.clear();
  state_.busyUntil = at;
  for (Channel* channel : {&channel16_, &channel32_}) {
    channel->fifo.clear();
    channel->pending.clear();
    channel->sendingStopped = false;
  }
}

void Q7340Module::comeUp(double at) {
  state_.up = true;
  state_.busyUntil = at;
  for (Channel* channel : {&channel16_, &channel32_}) {
    channel->fifo.drainedUntil = at;
    channel->fifo.credit = 0;
  }
}

uint32_t Q7340Module::nextGarbageWord() {
  if (garbageSeed_ != config_.faults.seed || garbageState_ == 0) {
    garbageSeed_ = config_.faults.seed;
    garbageState_ = garbageSeed_ != 0 ? garbageSeed_ : 1;
  }
  garbageState_ ^= garbageState_ << 13;
  garbageState_ ^= garbageState_ >> 17;
  garbageState_ ^= garbageState_ << 5;
  return garbageState_;
}

// ---- Register access ----------------------------------------------------------

uint16_t Q7340Module::statusValue(double now) const {
  uint16_t value = 0;
  if (channelRunning()) value |= STATUS_READY;
  if (state_.resetRequested) value |= STATUS_RESET_REQUEST;
  if (state_.inHandshake && now >= state_.handshakeBitAt) value |= STATUS_HANDSHAKE;
  if (config_.vxiReadyBit && state_.up) value |= STATUS_VXI_READY;
  return value;
}

void Q7340Module::writeControl(uint16_t value) {
  ++state_.counters.controlWrites;
  if (value == CONTROL_START_RESET) {
    if (!state_.up || state_.inHandshake || config_.faults.readyBitStuck) return;
    state_.inHandshake = true;
    state_.handshakeBitAt =
        config_.faults.handshakeBitNeverSet ? NEVER : elapsedSeconds() + config_.handshakeTime;
  } else if (value == CONTROL_END_RESET && state_.inHandshake) {
    state_.log.push_back("reset");
    goDown(elapsedSeconds());
  }
}

void Q7340Module::hostWrite(Channel& channel, uint32_t unit) {
  if (!channelRunning()) {
    ++state_.counters.writesWhileDown;
  } else if (!channel.fifo.hostWrite(unit)) {
    ++state_.counters.overflowWrites;
  }
}

uint32_t Q7340Module::hostRead(Channel& channel, uint32_t emptyValue) {
  uint32_t unit = 0;
  if (channelRunning() && channel.fifo.hostRead(&unit)) return unit;
  ++state_.counters.emptyReads;
  return emptyValue;
}

uint32_t Q7340Module::receiveWord() const {
  uint32_t bytes = channelRunning() ? channel32_.fifo.outgoingBytes() : 0;
  return (bytes & 0x7FFFFFFFu) | (config_.polledPortions ? 0x80000000u : 0);
}

uint16_t Q7340Module::read16(uint32_t offset) {
  catchUpForAccess();
  const bool running = channelRunning();
  switch (offset) {
    case REG_ID: return static_cast<uint16_t>(0xC000 | (identity().manfId & 0x0FFF));
    case REG_DEVICE_TYPE: return identity().modelCode;
    case REG_STATUS: return statusValue(elapsedSeconds());
    case REG_FIFO32: {  // the more significant half of the next word, left in place
      uint32_t word = 0xFFFFFFFFu;
      if (!running || !channel32_.fifo.hostPeek(&word)) word = 0xFFFFFFFFu;
      return static_cast<uint16_t>(word >> 16);
    }
    case REG_FIFO32 + 2: return static_cast<uint16_t>(hostRead(channel32_, 0xFFFFFFFFu));
    case REG_IN32_COUNT: return static_cast<uint16_t>(running ? channel32_.fifo.incomingUnits() : 0);
    case REG_OUT32_COUNT: return static_cast<uint16_t>(running ? channel32_.fifo.outgoingUnits() : 0);
    case REG_FIFO16: return static_cast<uint16_t>(hostRead(channel16_, 0xFFFF));
    case REG_IN16_COUNT: return static_cast<uint16_t>(running ? channel16_.fifo.incomingUnits() : 0);
    case REG_OUT16_COUNT: return static_cast<uint16_t>(running ? channel16_.fifo.outgoingUnits() : 0);
    case REG_AUX16: return config_.aux16Value;
    default: return offset < 0x20 ? 0xFFFF : 0x0000;
  }
}

void Q7340Module::write16(uint32_t offset, uint16_t value) {
  catchUpForAccess();
  switch (offset) {
    case REG_STATUS: writeControl(value); break;
    case REG_FIFO32: high32_ = value; break;
    case REG_FIFO32 + 2: hostWrite(channel32_, (high32_ << 16) | value); break;
    case REG_FIFO16: hostWrite(channel16_, value); break;
    default: break;  // read-only or unused
  }
}

uint32_t Q7340Module::read32(uint32_t offset) {
  if (offset == REG_FIFO32) {
    catchUpForAccess();
    return hostRead(channel32_, 0xFFFFFFFFu);
  }
  if (offset == REG_RX_AVAIL) {
    catchUpForAccess();
    return receiveWord();
  }
  return Device::read32(offset);
}

void Q7340Module::write32(uint32_t offset, uint32_t value) {
  if (offset == REG_FIFO32) {
    catchUpForAccess();
    hostWrite(channel32_, value);
    return;
  }
  Device::write32(offset, value);
}

// A block move is one instant of the model: it catches up once, at the
// start, and every element of the move meets the FIFOs as they stood then.
// The drain still runs at its rate over the move's bus time, which the next
// access outside the move catches up on.
void Q7340Module::blockMoveStarts() {
  if (blockMoveDepth_++ == 0) catchUp();
}

void Q7340Module::blockMoveEnds() {
  if (blockMoveDepth_ > 0) --blockMoveDepth_;
}

// ---- Test and persistence API ------------------------------------------------

const ModuleState& Q7340Module::state() {
  catchUp();
  return state_;
}

void Q7340Module::reboot() {
  catchUp();
  state_.log.push_back("reboot");
  goDown(elapsedSeconds());
}

void Q7340Module::queueWords16(const std::vector<uint32_t>& words) {
  catchUp();
  channel16_.fifo.send(words);
}

void Q7340Module::queueWords32(const std::vector<uint32_t>& words) {
  catchUp();
  channel32_.fifo.send(words);
}

void Q7340Module::queueFrame16(int32_t tag, const std::vector<uint32_t>& payload) {
  std::vector<uint32_t> words = {static_cast<uint32_t>(payload.size() * 4),
                                 static_cast<uint32_t>(tag)};
  words.insert(words.end(), payload.begin(), payload.end());
  queueWords16(words);
}

void Q7340Module::clearOutput() {
  for (Channel* channel : {&channel16_, &channel32_}) {
    channel->fifo.clearOutgoing();
    channel->pending.clear();
    channel->sendingStopped = false;
  }
}

bool Q7340Module::saveState(const std::string& path) const { return saveFlash(path, state_.flash); }

bool Q7340Module::loadState(const std::string& path) { return loadFlash(path, &state_.flash); }

// A failed write leaves the file as it was; the operator reads why.
void Q7340Module::writeStateFile() const {
  std::string error;
  if (!config_.stateFile->save(state_.flash, &error))
    std::fprintf(stderr, "q7340 simulator: %s\n", error.c_str());
}

}  // namespace sim::module
