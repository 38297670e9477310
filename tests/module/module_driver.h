// Drives the simulated module through its register block the way the host's
// channel does: each 32-bit word as two 16-bit FIFO transfers, the more
// significant half first, writing only as much as the room count allows and
// polling the count before reading. Waits are 1 ms sleeps of the virtual clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/module/q7340_module.h"

namespace module_test {

// A request body built the way the host builds it, as a byte stream.
struct Body {
  std::vector<uint8_t> bytes;
  Body& word(uint32_t value);              // big-endian
  Body& text(const std::string& value);    // with its zero byte
  Body& raw(const void* data, size_t size);
  Body& pad(uint8_t fill);                 // up to a multiple of 4
  // The payload words the module receives: the bytes in byte-stream mode,
  // zero padded to whole words.
  std::vector<uint32_t> words() const;
};

struct Reply {
  int32_t tag = 0;
  int32_t size = 0;                // the size word as sent
  std::vector<uint32_t> payload;   // empty when the size was not sound
  // The payload in byte-stream mode: each word's bytes from the more
  // significant end.
  std::vector<uint8_t> bytes() const;
};

class ModuleDriver {
 public:
  explicit ModuleDriver(sim::module::Q7340Module& module) : module_(module) {}

  // Writes one frame as the host does; false when no room came for `limit` seconds.
  bool writeFrame(int32_t tag, const std::vector<uint32_t>& payload, double limit = 60);
  // Reads the next frame (one marker word of value 1 ahead of it is skipped);
  // nothing when no complete frame came for `limit` seconds.
  std::optional<Reply> readFrame(double limit = 10);
  // One request and its reply.
  std::optional<Reply> exchange(int32_t tag, const Body& body, double limit = 10);
  // The reply word of a one-word answer; nothing when no answer or another length.
  std::optional<int32_t> exchangeWord(int32_t tag, const Body& body, double limit = 10);

  // The update's requests.
  std::optional<int32_t> download(const std::string& carriedName, const std::string& entry);
  void loadLibraries();  // dldmsgLib.out, then romupdate.out; asserts both answer 0
  std::optional<int32_t> putFile(const std::string& name, const void* data, size_t size);
  std::optional<int32_t> putCarried(const std::string& name);
  std::optional<int32_t> command(const std::string& name,
                                 const std::vector<std::pair<std::string, std::string>>& pairs = {},
                                 double limit = 60);
  std::optional<std::vector<int32_t>> romRevisions();  // the reply words after the status

  uint16_t status() { return module_.read16(sim::module::Q7340Module::REG_STATUS); }
  // Sleeps until bit 0 is set: the virtual time it took, or nothing after `limit`.
  std::optional<double> waitReady(double limit);

 private:
  bool readWord(uint32_t* word, double limit);
  sim::module::Q7340Module& module_;
};

}  // namespace module_test
