// In-process runs of the program's entry with captured console streams.
#include "tests/driver/program_run.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "common/clock.h"
#include "common/console.h"
#include "driver/driver.h"
#include "driver/get_option.h"
#include "tests/support/console_run.h"

namespace {

SessionStandIn currentStandIn;
ProgramRun* currentRun = nullptr;

int32_t recordingSession(UpdateOptions* options) {
  currentRun->session = *options;
  currentRun->session->programName = nullptr;
  currentRun->sessionProgramName = options->programName;
  return currentStandIn ? currentStandIn(options) : 0;
}

}  // namespace

ProgramRun runProgramNamed(const std::string& argument0, const std::vector<std::string>& arguments,
                           const std::string& input, SessionStandIn session) {
  clockUseVirtual();
  ProgramRun run;
  currentStandIn = std::move(session);
  currentRun = &run;
  updateSessionEntry = recordingSession;

  ConsoleRun console = runEntry(argument0, arguments, input);

  run.out = std::move(console.out);
  run.err = std::move(console.err);
  run.status = console.status;
  run.inputLeft = std::move(console.inputLeft);
  currentRun = nullptr;
  return run;
}

ProgramRun runProgram(const std::vector<std::string>& arguments, const std::string& input,
                      SessionStandIn session) {
  return runProgramNamed("/opt/vxi/bin/q7340romupdate", arguments, input, std::move(session));
}

ConsoleCapture::ConsoleCapture(const std::string& input)
    : in_(temporaryFileWith(input)), out_(std::tmpfile()) {
  consoleIn = in_;
  consoleOut = out_;
}

ConsoleCapture::~ConsoleCapture() {
  consoleIn = stdin;
  consoleOut = stdout;
  std::fclose(in_);
  std::fclose(out_);
}

std::string ConsoleCapture::out() { return fileText(out_, true); }
std::string ConsoleCapture::inputLeft() { return fileText(in_, false); }

std::string usageText(const std::string& programName) {
  return "usage: " + programName + " [-fLnqrRSuvV]\n" +
         "    -f                   force update even if segment is not newer than that currently in rom\n"
         "    -L logicalAddress    VXI logical address, default:  128\n"
         "    -n                   non-interactive, no questions asked\n"
         "    -q                   quiet, non-interactive, nothing printed to stdout\n"
         "    -r                   revision info only, printed to stdout, overrides -q\n"
         "    -R                   reboot q7340 module and exit\n"
         "    -S segmentNumber     only specified rom segment is updated\n"
         "         -1              all segments (used with -f)\n"
         "         0               operating system\n"
         "         1               FPGA1, vxiga\n"
         "         2               FPGA2, bbbga\n"
         "         3               FPGA3, fibga\n"
         "         4               self test\n"
         "         99              lanboot segment\n"
         "    -u                   print usage and exit, overrides -q\n"
         "    -v                   print version of this program, overrides -q\n"
         "    -V vxiInterface      VXI interface default: VXI0\n"
         "  Default: VXI0::128, interactive, update all newer segments 0-4\n";
}

const std::string UPDATE_REVISIONS =
    "ROM segment revisions in this update:\n"
    "ROM Segment   Segment Desc    Revision\n"
    "0             OS              110000\n"
    "1             FPGA1           2051614\n"
    "2             FPGA2           2071509\n"
    "3             FPGA3           3041016\n"
    "4             selfTest        10800\n"
    "\n";
const std::string CLOSING_PROMPT = "\nPress Enter to exit.";
const std::string VERSION_LINE = "q7340romupdate: version 1.0.1.0\n\n";
