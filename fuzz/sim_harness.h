// The simulated VXI system every fuzz target runs against: one mainframe with
// the Q7340 module at logical address 128, installed as the program's VISA on
// the virtual clock, made once per process (the VISA resource manager is
// process-wide) and reused by every input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>

#include "common/clock.h"
#include "common/console.h"
#include "lwf/lwf.h"
#include "sim/mainframe.h"
#include "sim/module/q7340_module.h"
#include "sim/visa_table.h"
#include "vxi/vxi.h"

namespace fuzz {

constexpr int32_t MODULE_LA = 128;
// Keeps an incomplete frame from waiting four hours of virtual time (millions
// of polls) before it gives up.
constexpr double FUZZ_RX_TIMEOUT = 0.05;

// The module's register block, counting the 16-bit reads of its 16-bit FIFO
// data register: each one takes a transfer off the outgoing FIFO, so the
// count tells how far into the module's output stream the host has read.
class CountingModule : public sim::Device {
 public:
  explicit CountingModule(const sim::module::ModuleConfig& config) : module_(config) {}
  uint16_t read16(uint32_t offset) override {
    using Module = sim::module::Q7340Module;
    if (offset == Module::REG_FIFO16) ++fifo16Reads;
    // The module sends trickled words a few at a time, whenever the host
    // finds its FIFO empty: frames then arrive in pieces, also while a call
    // waits for the rest of one.
    if (offset == Module::REG_OUT16_COUNT && !trickle.empty() &&
        module_.read16(Module::REG_OUT16_COUNT) == 0) {
      std::vector<uint32_t> piece;
      while (!trickle.empty() && piece.size() < trickleStep) {
        piece.push_back(trickle.front());
        trickle.pop_front();
      }
      module_.queueWords16(piece);
    }
    return module_.read16(offset);
  }
  void write16(uint32_t offset, uint16_t value) override { module_.write16(offset, value); }
  uint32_t read32(uint32_t offset) override { return module_.read32(offset); }
  void write32(uint32_t offset, uint32_t value) override { module_.write32(offset, value); }
  sim::DeviceIdentity identity() const override { return module_.identity(); }
  std::string name() const override { return module_.name(); }
  sim::module::Q7340Module& module() { return module_; }

  uint64_t fifo16Reads = 0;
  std::deque<uint32_t> trickle;  // words the module has yet to send, in pieces
  size_t trickleStep = 1;        // words per piece

 private:
  sim::module::Q7340Module module_;
};

struct Harness {
  std::unique_ptr<sim::Mainframe> mainframe;
  CountingModule* block = nullptr;
  VxiDevice* device = nullptr;
};

inline void fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// The process's one simulated system, made on first use.
inline Harness& harness() {
  static Harness made = [] {
    Harness h;
    // The channel's own lines (bad payloads, size-1 notes) would drown the
    // fuzzer's output; failed checks still go to the real standard error.
    FILE* sink = std::fopen("/dev/null", "w");
    if (sink != nullptr) consoleOut = consoleErr = sink;
    clockUseVirtual();
    sim::MainframeConfig config;
    config.q7340La = -1;  // the counting block below takes its place
    h.mainframe = std::make_unique<sim::Mainframe>(config);
    h.mainframe->logEnabled = false;  // the call log would grow without bound
    auto block = std::make_unique<CountingModule>(config.module);
    h.block = block.get();
    h.mainframe->attach(MODULE_LA, std::move(block));
    sim::install(*h.mainframe);
    if (vxiOpen("VXI0", -1, &h.device) != 0 ||
        vxiMap(h.device, VI_A16_SPACE, 0, 65536, nullptr) != 0)
      fail("the simulated interface does not open");
    return h;
  }();
  return made;
}

// A fresh kind-1 channel over a module with nothing on its way to the host.
inline LwfChannel* freshChannel(LwfChannel* old, LwfHandler handler = nullptr) {
  Harness& h = harness();
  lwf_free(old);
  h.block->module().clearOutput();
  LwfChannel* channel = nullptr;
  if (lwf_init(h.device, MODULE_LA, LWF_CMD, handler, &channel) != 0) fail("lwf_init");
  channel->rxTimeout = FUZZ_RX_TIMEOUT;
  return channel;
}

// The cache invariants that every receive operation must keep.
inline void checkCache(const LwfChannel* c) {
  if (c->cacheBase == nullptr || c->cacheSize <= 0) fail("no cache");
  if (c->cacheBytesAvail < 0) fail("cacheBytesAvail < 0");
  if (c->cacheReadPtr < c->cacheBase) fail("cacheReadPtr before cacheBase");
  if (c->cacheReadPtr + c->cacheBytesAvail != c->cacheWritePtr)
    fail("cacheReadPtr + cacheBytesAvail != cacheWritePtr");
  if (c->cacheWritePtr > c->cacheBase + c->cacheSize) fail("cacheWritePtr beyond the cache");
}

}  // namespace fuzz
