// A recorded module played back: the exchange record that
// tools/trace_exchanges.py makes of a VISA trace (docs/visa-trace.md). While a
// replay is set the message server runs no handler: each request is checked
// against the record's next one (tag, length and SHA-256 of the body) and
// answered with exactly the words the recorded module sent after it, markers
// and stray words included. The register block, the FIFOs, their drain and
// the boot time stay modelled as ever.
//
// The first request that differs stops the replay for good, with one line on
// standard error. From then on every request is answered with one word, -1,
// under its own tag: no exchange of the host takes that as success, and it
// fails at once instead of after a reply wait. A request that reboots the
// module (0x7D, the command "reboot") takes it down for good, since a module
// that came back would tell the host its reboot worked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/module/frame_assembler.h"

namespace sim::module {

class ModuleReplay {
 public:
  struct Request {
    int32_t tag = 0;
    uint32_t length = 0;  // body bytes, as sent (a multiple of 4)
    std::string sha256;   // of the body, lower-case hexadecimal
  };

  // What the module does with one request.
  struct Answer {
    std::vector<uint32_t> words;  // sent as they stand: markers, headers, payloads
    bool reboot = false;          // the request reboots the module
    bool stayDown = false;        // ... and it never comes back
  };

  // Reads a record; null with the reason in `error` when it cannot be used.
  static std::shared_ptr<ModuleReplay> load(const std::string& path, std::string* error);

  // Words the host found waiting before its first request.
  const std::vector<uint32_t>& powerUpWords() const { return powerUpWords_; }
  // The first Status value the host read asked for a reset (bit 1).
  bool resetRequestAtPowerUp() const { return resetRequest_; }
  // The module's logical address in the recording, -1 when not known.
  int logicalAddress() const { return logicalAddress_; }
  size_t exchangeCount() const { return exchanges_.size(); }

  // Checks the request against the record and gives its answer. A mismatch
  // prints the stop line (naming the exchange, the expected and the actual
  // request) the first time.
  Answer answer(const Frame& frame);
  bool stopped() const { return stopped_; }

 private:
  struct Exchange {
    Request request;
    std::vector<uint32_t> output;  // what the module sent after it
  };

  std::string path_;
  int logicalAddress_ = -1;
  bool resetRequest_ = false;
  std::vector<uint32_t> powerUpWords_;
  std::vector<Exchange> exchanges_;
  size_t next_ = 0;
  bool stopped_ = false;
};

}  // namespace sim::module
