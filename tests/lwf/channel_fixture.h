// A kind-1 channel to the simulated module, on the virtual clock, with the
// module keeping every frame it takes off its incoming FIFO.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "lwf/lwf.h"
#include "tests/support/simulated_vxi.h"

class ChannelTest : public ::testing::Test {
 protected:
  void start(sim::module::ModuleConfig config = {}, int32_t kind = LWF_CMD) {
    config.recordFrames = true;
    vxi = std::make_unique<SimulatedVxi>(config);
    ASSERT_EQ(lwf_init(vxi->device, 128, kind, nullptr, &channel), 0);
  }
  void TearDown() override { lwf_free(channel); }

  sim::module::Q7340Module& module() { return *vxi->module; }
  const std::vector<sim::module::Frame>& framesReceived() { return module().state().frames; }

  // Calls of one VISA function since log index `from`.
  std::vector<sim::CallRecord> callsSince(size_t from, const std::string& function) {
    std::vector<sim::CallRecord> found;
    for (size_t i = from; i < vxi->mainframe.log.size(); ++i)
      if (vxi->mainframe.log[i].function == function) found.push_back(vxi->mainframe.log[i]);
    return found;
  }
  // Reads of one register since log index `from`.
  int readsOf(uint32_t offset, size_t from = 0) {
    int reads = 0;
    for (const auto& call : callsSince(from, "viPeek16"))
      if (call.args[0] == vxi->busAddress(offset)) ++reads;
    return reads;
  }

  std::unique_ptr<SimulatedVxi> vxi;
  LwfChannel* channel = nullptr;
};

// Bytes as the 32-bit words a module sends in order (each word's most
// significant byte first on the module).
inline std::vector<uint32_t> bigEndianWords(const std::string& bytes) {
  std::vector<uint32_t> words((bytes.size() + 3) / 4, 0);
  for (size_t i = 0; i < bytes.size(); ++i)
    words[i / 4] |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (24 - 8 * (i % 4));
  return words;
}
