// The message services against the simulated module on the virtual clock:
// a kind-1 channel, the console captured, and the request bodies the module
// took off its FIFO, byte for byte.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/console.h"
#include "lwf/lwf.h"
#include "msg/msg.h"
#include "payload/payload.h"
#include "tests/support/simulated_vxi.h"
#include "tests/support/stream_capture.h"

// One request as the module received it: its tag and its body bytes.
struct SentRequest {
  int32_t tag;
  std::string body;
};

class MsgTest : public ::testing::Test {
 protected:
  void start(sim::module::ModuleConfig config = {}) {
    config.recordFrames = true;
    vxi = std::make_unique<SimulatedVxi>(config);
    ASSERT_EQ(lwf_init(vxi->device, 128, LWF_CMD, nullptr, &channel), 0);
    out = std::make_unique<StreamCapture>(consoleOut);
    err = std::make_unique<StreamCapture>(consoleErr);
  }
  void TearDown() override {
    out.reset();
    err.reset();
    lwf_free(channel);
  }

  // Both module-side libraries, as the update loads them.
  void loadLibraries() {
    ASSERT_EQ(q7340MsgLibLoad(channel), 0);
    const PayloadRecord* romupdate = payloadFind("romupdate.out");
    ASSERT_NE(romupdate, nullptr);
    ASSERT_EQ(q7340MsgBufDnldGo(channel, payloadData(romupdate),
                                static_cast<int32_t>(romupdate->fileSize), "romupdate.out",
                                "romupdateInit", 0, 0),
              0);
    firstRequest = module().state().frames.size();
  }

  sim::module::Q7340Module& module() { return *vxi->module; }

  // The requests the module took since the libraries were loaded, after
  // letting it drain what is still in its FIFO.
  std::vector<SentRequest> sent() {
    sleepMilliseconds(5);
    std::vector<SentRequest> requests;
    const auto& frames = module().state().frames;
    for (size_t i = firstRequest; i < frames.size(); ++i) {
      std::string body;
      for (uint32_t word : frames[i].payload)
        for (int shift = 24; shift >= 0; shift -= 8) body += static_cast<char>(word >> shift);
      requests.push_back({frames[i].tag, body});
    }
    return requests;
  }
  // The one request sent; fails the test when there is not exactly one.
  SentRequest onlySent() {
    std::vector<SentRequest> requests = sent();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? SentRequest{-1, ""} : requests.back();
  }

  std::unique_ptr<SimulatedVxi> vxi;
  LwfChannel* channel = nullptr;
  std::unique_ptr<StreamCapture> out, err;
  size_t firstRequest = 0;
};

// A 32-bit integer as it stands in a request body (big-endian).
inline std::string beWord(int32_t value) {
  uint32_t word = htonl(static_cast<uint32_t>(value));
  return std::string(reinterpret_cast<const char*>(&word), 4);
}

// A text with its zero byte.
inline std::string z(const std::string& text) { return text + std::string(1, '\0'); }
