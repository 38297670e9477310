// A whole forced update of every segment and lanboot (about 7.1 MB of
// images) against the simulated module on the virtual clock, with the bus-time
// model: how long it would take on the bus, split into transfer, programming
// and reboot, against the lower bound of the bus and the module's drain rate;
// and what it costs the host in CPU time and memory.
//
// The program runs in-process with its console going to a stream that notes
// the virtual time of every line, so the phases are read off the transcript.
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/console.h"
#include "driver/driver.h"
#include "payload/payload.h"
#include "sim/mainframe.h"
#include "sim/visa_table.h"

namespace {

struct TimedLine {
  double at;
  std::string text;
};

std::vector<TimedLine> transcript;

ssize_t noteLine(void*, const char* data, size_t size) {
  transcript.push_back({elapsedSeconds(), std::string(data, size)});
  return static_cast<ssize_t>(size);
}

// Virtual time of the first console write that contains text.
double timeOf(const char* text) {
  for (const TimedLine& line : transcript)
    if (line.text.find(text) != std::string::npos) return line.at;
  std::fprintf(stderr, "update_bench: the transcript has no \"%s\"\n", text);
  return -1;
}

double cpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

int main() {
  clockUseVirtual();
  sim::MainframeConfig config;
  config.module.flash = sim::module::olderModuleFlash();
  sim::Mainframe mainframe(config);
  mainframe.logEnabled = false;
  sim::install(mainframe);

  cookie_io_functions_t timed = {nullptr, noteLine, nullptr, nullptr};
  FILE* out = fopencookie(nullptr, "w", timed);
  setvbuf(out, nullptr, _IONBF, 0);
  consoleOut = out;
  // Enter at both prompts, yes to programming and to the reboot, Enter to close.
  static char answers[] = "\n\ny\ny\n\n";
  consoleIn = fmemopen(answers, sizeof answers - 1, "r");
  consoleErr = stderr;

  const char* argv[] = {"q7340romupdate", "-f", "-S", "99", nullptr};
  double cpuBefore = cpuSeconds();
  int32_t status = q7340Main(4, argv);
  double cpu = cpuSeconds() - cpuBefore;
  double total = elapsedSeconds();
  std::fflush(out);

  double downloadStart = timeOf("Downloading ROM segment 0");
  double programStart = timeOf("Programing ROM segment 0");
  double programEnd = timeOf("Reboot the module for the ROM changes");
  double rebootStart = timeOf("Rebooting Q7340");
  double rebootEnd = timeOf("Reboot complete");

  uint64_t imageBytes = lanbootImage()->fileSize;
  for (const RomSegment& segment : romSegments) imageBytes += segment.efile->fileSize;
  const sim::module::ModuleConfig& module = config.module;
  double transfer = programStart - downloadStart;
  // Every image byte crosses the bus as half a 16-bit transfer and is taken
  // off the module's FIFO at its drain rate: the slower of the two bounds it.
  double busBound = static_cast<double>(imageBytes) / 2 * mainframe.costs.block16;
  double drainBound = static_cast<double>(imageBytes) / module.drainRate;
  double bound = busBound > drainBound ? busBound : drainBound;

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("forced update of segments 0-4 and lanboot: status %d, %llu image bytes\n", status,
              static_cast<unsigned long long>(imageBytes));
  std::printf("simulated total          %9.3f s\n", total);
  std::printf("  transfer               %9.3f s (download lines to the first programming line)\n",
              transfer);
  std::printf("  programming            %9.3f s (%d functions at %.1f s each on the module)\n",
              programEnd - programStart, 6, module.programTime);
  std::printf("  reboot                 %9.3f s (module boot time %.1f s)\n",
              rebootEnd - rebootStart, module.bootTime);
  std::printf("transfer lower bound     %9.3f s (bus %.3f s, module drain %.3f s at %.0f B/s)\n",
              bound, busBound, drainBound, module.drainRate);
  std::printf("transfer / lower bound   %9.3f\n", transfer / bound);
  std::printf("bus: %llu single accesses, %llu block moves, %llu block elements\n",
              static_cast<unsigned long long>(mainframe.counters.singleAccesses),
              static_cast<unsigned long long>(mainframe.counters.blockMoves),
              static_cast<unsigned long long>(mainframe.counters.blockElements));
  std::printf("host CPU time            %9.3f s\n", cpu);
  std::printf("peak memory (max RSS)    %9.1f MiB\n", usage.ru_maxrss / 1024.0);
  sim::uninstall();
  return status == 0 ? 0 : 1;
}
