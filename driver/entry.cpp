// The program's entry: options, what they ask for, prompts, session, closing.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/console.h"
#include "driver/command_line.h"
#include "driver/dialogue.h"
#include "driver/long_options.h"
#include "driver/driver.h"
#include "driver/prompts.h"
#include "driver/progress_view.h"
#include "driver/revision_table.h"
#include "driver/run_report.h"
#include "driver/console_tap.h"
#include "driver/session.h"
#include "payload/payload.h"
#include "vxi/visa.h"
#include "vxi/visa_trace.h"

int32_t (*updateSessionEntry)(UpdateOptions* options) = runUpdateSession;

namespace {

// Everything between parsing and the closing prompt; returns the exit status.
int32_t runWithOptions(UpdateOptions* options, const CommandLineFaults* faults,
                       const char* visaLibrary) {
  if (options->showVersion)
    std::fprintf(consoleOut, "q7340romupdate: version %s\n\n", PROGRAM_VERSION);
  if (options->usageShown) return 0;
  if (options->revisionOnly) options->quiet = 0;  // -r overrides -q
  if (options->quiet) options->nonInteractive = 1;
  if (options->segment == LANBOOT_SEGMENT) {
    options->lanboot = 1;
    options->segment = -1;
  }
  if (checkSettings(options, faults) != 0) return -1;
  if (!options->quiet && !options->reboot) printUpdateRevisions(consoleOut);
  if (options->showVersion) return 0;
  if (!options->nonInteractive && askConnectionSettings(options) != 0) return -1;
  // The library the operator named is tried before the session starts, so
  // that a wrong one is reported as such.
  if (visaLibrary != nullptr && visaLibrary[0] == '\0') {
    std::fprintf(consoleErr, "Error: --visa-library= names no library\n");
    return -1;
  }
  if (visaLibrary != nullptr && visaLoadHostLibrary() != VI_SUCCESS) {
    std::fprintf(consoleErr, "Error: %s\n", visaBindingProblem());
    return -1;
  }
  return updateSessionEntry(options);
}

}  // namespace

int32_t q7340Main(int32_t argc, const char* const argv[]) {
  LongOptions longOptions;
  const char* rest[MAX_ARGUMENTS + 1];
  int32_t restCount = takeLongOptions(argc, argv, &longOptions, rest, MAX_ARGUMENTS);
  if (longOptions.help || longOptions.version) {
    if (longOptions.help)
      printUsage(consoleOut, programNameOf(argc > 0 ? argv[0] : nullptr));
    else
      std::fprintf(consoleOut, "q7340romupdate: version %s\n", PROGRAM_VERSION);
    std::fflush(consoleOut);
    return 0;
  }
  if (longOptions.visaLibrary != nullptr) visaUseLibrary(longOptions.visaLibrary);
  if (longOptions.visaTrace != nullptr && visaTraceOpen(longOptions.visaTrace, PROGRAM_VERSION) != 0) {
    std::fprintf(consoleErr, "Error: cannot write the VISA trace %s: %s\n", longOptions.visaTrace,
                 std::strerror(errno));
    return -1;
  }

  if (longOptions.report != nullptr) reportStart(longOptions.report);

  UpdateOptions options;
  CommandLineFaults faults;
  parseCommandLine(restCount, rest, &options, &faults);
  int32_t status = runWithOptions(&options, &faults, longOptions.visaLibrary);
  visaTraceClose();
  progressViewStop();
  if (reportFinish(status) != 0 && status == 0) status = -1;
  consoleTapStop();
  if (!options.nonInteractive) waitForExit();
  std::fflush(consoleOut);
  std::fflush(consoleErr);
  return status;
}
