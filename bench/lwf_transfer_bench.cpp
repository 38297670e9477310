// Transfer benchmarks of the LWF channel over the simulated mainframe: the
// largest carried image (3,459,174 bytes) written to the module as one file
// request with lwf_write in byte-stream mode, the module's reply read with
// lwf_read; and the same file read back. Bus time is the simulator's model on
// the virtual clock; host CPU time is real.
//
// Counters, per iteration:
//   sim_bus_s              virtual seconds the exchange took on the modelled bus
//   fifo_xfers_per_KiB     16-bit FIFO transfers (block-move elements) per KiB of image
//   count_reads_per_KiB    reads of the 16-bit channel's count registers per KiB
//   host_cpu_s_per_MiB     CPU seconds of this process per MiB of image
//   x_drain_bound          (send only) bus time over image bytes / the module's drain
//                          rate, the least time the module needs to take the image
#include <arpa/inet.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "lwf/lwf.h"
#include "vxi/visa_trace.h"
#include "msg/msg.h"
#include "sim/mainframe.h"
#include "sim/module/q7340_module.h"
#include "sim/visa_table.h"
#include "vxi/vxi.h"

namespace {

constexpr int32_t IMAGE_BYTES = 3459174;  // vxWorks_rom.hex, the largest carried image
constexpr const char* FILE_NAME = "vxWorks_rom.hex";
constexpr int32_t MODULE_LA = 128;
constexpr int32_t REPLY_POLL_MS = 2;
constexpr double REPLY_WAIT_S = 10;

using sim::module::Q7340Module;

// The module's register block, counting reads of the 16-bit channel's two
// count registers (room in the incoming FIFO, words in the outgoing one).
class CountingBlock : public sim::Device {
 public:
  explicit CountingBlock(const sim::module::ModuleConfig& config) : module_(config) {}
  uint16_t read16(uint32_t offset) override {
    if (offset == Q7340Module::REG_IN16_COUNT || offset == Q7340Module::REG_OUT16_COUNT) ++countReads;
    return module_.read16(offset);
  }
  void write16(uint32_t offset, uint16_t value) override { module_.write16(offset, value); }
  uint32_t read32(uint32_t offset) override { return module_.read32(offset); }
  void write32(uint32_t offset, uint32_t value) override { module_.write32(offset, value); }
  sim::DeviceIdentity identity() const override { return module_.identity(); }
  std::string name() const override { return module_.name(); }
  Q7340Module& module() { return module_; }

  uint64_t countReads = 0;

 private:
  Q7340Module module_;
};

struct System {
  std::unique_ptr<sim::Mainframe> mainframe;
  CountingBlock* block = nullptr;
  VxiDevice* device = nullptr;
  LwfChannel* channel = nullptr;
  bool ready = false;
};

// One system for the process (the VISA resource manager is process-wide),
// with the module's file services loaded.
System& simulated() {
  static System made = [] {
    System s;
    clockUseVirtual();
    sim::MainframeConfig config;
    config.q7340La = -1;
    s.mainframe = std::make_unique<sim::Mainframe>(config);
    s.mainframe->logEnabled = false;
    auto block = std::make_unique<CountingBlock>(config.module);
    s.block = block.get();
    s.mainframe->attach(MODULE_LA, std::move(block));
    sim::install(*s.mainframe);
    s.ready = vxiOpen("VXI0", -1, &s.device) == 0 &&
              vxiMap(s.device, VI_A16_SPACE, 0, 65536, nullptr) == 0 &&
              lwf_init(s.device, MODULE_LA, LWF_CMD, nullptr, &s.channel) == 0 &&
              q7340MsgLibLoad(s.channel) == 0;
    return s;
  }();
  return made;
}

double cpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

// The file-write request: length word (network order), name, image, padding.
std::vector<uint8_t> fileWriteBody() {
  const size_t nameBytes = std::strlen(FILE_NAME) + 1;
  const size_t imageAt = 4 + nameBytes;
  std::vector<uint8_t> body((imageAt + IMAGE_BYTES + 3) / 4 * 4, 0x0A);
  uint32_t length = htonl(IMAGE_BYTES);
  std::memcpy(body.data(), &length, 4);
  std::memcpy(body.data() + 4, FILE_NAME, nameBytes);
  uint32_t state = 0x12345678u;  // xorshift: image bytes the module cannot guess
  for (size_t i = 0; i < IMAGE_BYTES; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    body[imageAt + i] = static_cast<uint8_t>(state);
  }
  return body;
}

// Polls lwf_read until the reply is complete: the lwf_read result.
int32_t awaitReply(LwfChannel* channel, void* destination, int32_t capacity, int32_t dataWidth,
                   int32_t* size) {
  int32_t tag = 0;
  double start = elapsedSeconds();
  int32_t status;
  while ((status = lwf_read(channel, capacity, &tag, size, destination, dataWidth)) == LWF_NOT_YET) {
    if (elapsedSeconds() - start > REPLY_WAIT_S) return status;
    sleepMilliseconds(REPLY_POLL_MS);
  }
  return status;
}

struct Snapshot {
  double bus, cpu;
  uint64_t elements, countReads;
  static Snapshot take(const System& s) {
    return {elapsedSeconds(), cpuSeconds(), s.mainframe->counters.blockElements,
            s.block->countReads};
  }
};

struct Totals {
  double bus = 0, cpu = 0, elements = 0, countReads = 0;
  void add(const Snapshot& from, const Snapshot& to) {
    bus += to.bus - from.bus;
    cpu += to.cpu - from.cpu;
    elements += static_cast<double>(to.elements - from.elements);
    countReads += static_cast<double>(to.countReads - from.countReads);
  }
  void report(benchmark::State& state) const {
    double n = static_cast<double>(state.iterations());
    double kib = IMAGE_BYTES / 1024.0;
    state.counters["sim_bus_s"] = bus / n;
    state.counters["fifo_xfers_per_KiB"] = elements / n / kib;
    state.counters["count_reads_per_KiB"] = countReads / n / kib;
    state.counters["host_cpu_s_per_MiB"] = cpu / n / (kib / 1024.0);
  }
};

// Sends the image as one file write and takes the module's one-word reply.
bool sendImage(System& s, const std::vector<uint8_t>& body) {
  if (lwf_write(s.channel, MSG_TAG_FILE_WRITE, static_cast<int32_t>(body.size()), body.data(), 4) != 0)
    return false;
  int32_t reply = -1, size = 0;
  return awaitReply(s.channel, &reply, 4, 0, &size) == LWF_OK && size == 4 && reply == 0;
}

// With the argument 1 every VISA call is also traced (into /dev/null), as
// --visa-trace does: the difference is the trace's cost, and the untraced run
// shows what the binding costs without it.
void BM_SendLargestImage(benchmark::State& state) {
  System& s = simulated();
  if (!s.ready) return state.SkipWithError("the simulated module did not load its file services");
  const std::vector<uint8_t> body = fileWriteBody();
  bool traced = state.range(0) != 0;
  if (traced && visaTraceOpen("/dev/null", "bench") != 0)
    return state.SkipWithError("cannot trace into /dev/null");
  Totals totals;
  for (auto _ : state) {
    Snapshot before = Snapshot::take(s);
    if (!sendImage(s, body)) return state.SkipWithError("file write failed");
    totals.add(before, Snapshot::take(s));
  }
  if (traced) visaTraceClose();
  totals.report(state);
  double drainBound = IMAGE_BYTES / s.block->module().config().drainRate;
  state.counters["x_drain_bound"] = totals.bus / static_cast<double>(state.iterations()) / drainBound;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * IMAGE_BYTES);
}

void BM_ReadLargestImageBack(benchmark::State& state) {
  System& s = simulated();
  if (!s.ready) return state.SkipWithError("the simulated module did not load its file services");
  const std::vector<uint8_t> body = fileWriteBody();
  if (!sendImage(s, body)) return state.SkipWithError("file write failed");
  // The file-read reply: status word, size word, then the file's bytes.
  std::vector<uint8_t> reply(static_cast<size_t>(IMAGE_BYTES) + 16);
  const size_t imageAt = 4 + std::strlen(FILE_NAME) + 1;  // in the file-write body
  std::string name(FILE_NAME);
  name.resize((name.size() + 4) / 4 * 4, '\0');
  Totals totals;
  for (auto _ : state) {
    Snapshot before = Snapshot::take(s);
    int32_t size = 0;
    if (lwf_write(s.channel, MSG_TAG_FILE_READ, static_cast<int32_t>(name.size()), name.data(), 4) != 0 ||
        awaitReply(s.channel, reply.data(), static_cast<int32_t>(reply.size()), 4, &size) != LWF_OK ||
        size < IMAGE_BYTES + 8 || std::memcmp(reply.data() + 8, body.data() + imageAt, 64) != 0)
      return state.SkipWithError("file read failed");
    totals.add(before, Snapshot::take(s));
  }
  totals.report(state);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * IMAGE_BYTES);
}

}  // namespace

BENCHMARK(BM_SendLargestImage)->ArgName("traced")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadLargestImageBack)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
