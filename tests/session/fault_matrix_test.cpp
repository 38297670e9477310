// The fault matrix: each kind of fault in each phase of a session, over the
// simulated module on the virtual clock. Every row states the status, the
// last "Error: " line and how far the module's flash got; every row is also
// held to the invariants that make the program safe to run on hardware:
//  - it ends within the waits it has (virtual time, no four-hour time-outs);
//  - status 0 only with every segment the run chose programmed;
//  - no segment programmed that the run did not choose;
//  - without -f, no segment goes back to an older revision.
#include <signal.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/clock.h"
#include "common/progress.h"
#include "driver/interruption.h"
#include "lwf/lwf.h"
#include "msg/msg.h"
#include "sim/module/q7340_module.h"
#include "tests/session/transcript.h"
#include "tests/support/console_run.h"
#include "tests/support/simulated_vxi.h"
#include "vxi/session_state.h"

using namespace transcript;
using sim::module::FlashRevisions;
using sim::module::ModuleConfig;
using sim::module::Q7340Module;

namespace {

// The host process dies in the middle of a bus access.
struct HostKilled {};

// What a new process starts from: the dead run's channels and device are gone
// (as the operating system would reclaim them), the program's process-wide
// state is at its start values, and no signal is held.
void startNewProcess() {
  std::set<VxiDevice*> devices;
  for (LwfChannel*& slot : lwfChannels) {
    if (slot == nullptr) continue;
    devices.insert(slot->device);
    lwf_free(slot);
  }
  for (VxiDevice* device : devices) free(device);
  lwfChannelsReady = 0;
  msgCmdTimeout = 0;
  msgReplyOwed = 0;
  defaultRM = 0;
  (void)releaseStopSignals();
  progressObserve(nullptr);
}

// The order in which a first pass programs, by flash slot (5 = lanboot).
constexpr int32_t LANBOOT = 5;
const std::vector<int32_t> PROGRAM_ORDER = {0, LANBOOT, 1, 2, 3, 4};

std::string programEvent(int32_t slot) {
  return slot == LANBOOT ? programmedLanboot() : programmed(slot);
}

struct Scenario {
  const char* name;
  FlashRevisions flash;
  std::vector<std::string> arguments;
  std::string input;
  bool forced;
};

const Scenario OLDER{"older", sim::module::olderModuleFlash(), {"-n"}, "", false};
const Scenario OLDER_REBOOT{"olderReboot", sim::module::olderModuleFlash(), {}, "\n\ny\ny\n", false};
const Scenario NEWER_FORCED{
    "newerForced", sim::module::newerGenerationFlash(), {"-n", "-f"}, "", true};

class Matrix;

struct Row {
  std::string name;
  const Scenario* scenario;
  std::function<void(Matrix&)> fault;
  int32_t status;
  std::string lastError;   // the last "Error: " line on standard error, or "" for none
  int32_t programmedSlots; // how many of PROGRAM_ORDER (then the second pass's 4) got programmed
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Matrix : public ::testing::TestWithParam<Row> {
 public:
  ModuleConfig config;
  std::vector<std::function<void(Q7340Module&)>> triggers;
  std::vector<sim::Fault> visaFaults;  // in force from the start
  std::unique_ptr<SimulatedMainframe> vxi;
  Q7340Module& module() { return *vxi->module; }

  // Whether the module's last event begins with `event`.
  static bool lastEventIs(Q7340Module& module, const std::string& event) {
    return !module.log().empty() && module.log().back().rfind(event, 0) == 0;
  }
  // A fault that fires once, at the first bus access after the module logged `event`.
  void once(const std::string& event, std::function<void(Matrix&)> action) {
    auto fired = std::make_shared<bool>(false);
    triggers.push_back([this, event, action, fired](Q7340Module& module) {
      if (*fired || !lastEventIs(module, event)) return;
      *fired = true;
      action(*this);
    });
  }
  // The request with `tag` that follows `event` is carried out but not answered.
  void silentAfter(const std::string& event, int32_t tag) {
    triggers.push_back([event, tag](Q7340Module& module) {
      if (lastEventIs(module, event))
        module.faults().silentTags.insert(tag);
      else
        module.faults().silentTags.erase(tag);
    });
  }
  // The nth call of a VISA function after `event` fails with status.
  void failVisa(const std::string& event, const char* function, ViStatus status, int nth = 1) {
    once(event, [function, status, nth](Matrix& m) {
      m.vxi->mainframe.addFault({function, std::nullopt, std::nullopt, status, nth});
    });
  }
};

int32_t occurrences(const Log& log, const std::string& event) {
  return static_cast<int32_t>(std::count(log.begin(), log.end(), event));
}

std::string lastErrorLine(const std::string& err) {
  std::string last;
  size_t at = 0;
  while ((at = err.find("Error: ", at)) != std::string::npos) {
    if (at == 0 || err[at - 1] == '\n') last = err.substr(at, err.find('\n', at) - at);
    at += 7;
  }
  return last;
}

TEST_P(Matrix, EndsSafely) {
  const Row& row = GetParam();
  const Scenario& scenario = *row.scenario;
  config.flash = scenario.flash;
  config.programTime = 2.0;
  config.bootTime = 5.0;
  if (row.fault) row.fault(*this);
  vxi = std::make_unique<SimulatedMainframe>(config);
  for (const sim::Fault& fault : visaFaults) vxi->mainframe.addFault(fault);
  vxi->block->onAccess = [this](Q7340Module& module) {
    for (auto& trigger : triggers) trigger(module);
  };
  const FlashRevisions before = module().flash();

  double start = elapsedSeconds();
  ConsoleRun result;
  size_t lastRunFrom = 0;  // where the last run's events begin in the module's log
  try {
    result = runEntry("q7340romupdate", scenario.arguments, scenario.input);
  } catch (const HostKilled&) {
    startNewProcess();
    lastRunFrom = module().log().size();
    result = runEntry("q7340romupdate", scenario.arguments, scenario.input);
  }
  double took = elapsedSeconds() - start;

  EXPECT_EQ(result.status, row.status) << result.err;
  EXPECT_EQ(lastErrorLine(result.err), row.lastError) << result.err;
  // The specified waits: 70 s to make the channel quiet, 60 s for a command,
  // 36 s for a reboot, 10 s for any other reply; a few of them in a row.
  EXPECT_LT(took, 400.0);

  const Log& log = module().log();
  const FlashRevisions& after = module().flash();
  int32_t programmedNow = 0;
  for (int32_t slot : PROGRAM_ORDER) programmedNow += occurrences(log, programEvent(slot)) > 0;
  EXPECT_EQ(programmedNow, row.programmedSlots) << ::testing::PrintToString(log);

  // Every run here chooses every segment that is not at the carried revision
  // (and lanboot with the operating system): status 0 means all of those are
  // there now, and lanboot was programmed when the last run stored it. (A run
  // killed after the operating system leaves lanboot to the operator: -f.)
  if (result.status == 0) {
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(after.segment[i], CARRIED[i]) << "segment " << i;
    Log lastRun(log.begin() + static_cast<std::ptrdiff_t>(lastRunFrom), log.end());
    EXPECT_EQ(occurrences(lastRun, programmedLanboot()),
              occurrences(lastRun, stored(LANBOOT_IMAGE)));
  }
  if (!scenario.forced) {
    for (int32_t i = 0; i < 5; ++i) EXPECT_GE(after.segment[i], before.segment[i]) << "segment " << i;
    EXPECT_GE(after.lanboot, before.lanboot);
  }
}

}  // namespace

// ---- The rows ----------------------------------------------------------------

constexpr int32_t SYNC_TAG = 0x5F, DOWNLOAD_TAG = 0x68, REVISIONS_TAG = 0x2B, FILE_WRITE_TAG = 0x7B,
                  FILE_REMOVE_TAG = 0x79;
const char* const PROGRAM_COMMANDS[] = {"q7340FlashProgRomboot", "q7340FlashProgVxiga",
                                        "q7340FlashProgBbbga",   "q7340FlashProgFibga",
                                        "q7340FlashProgSelftest", "q7340FlashProgLanboot"};
const std::string UNLOAD_FAILED = "Error: failed to unload dldfile romupdate.out";
const std::string NOT_INITIALIZED = "Error: failed initialize Q7340, check address";
const std::string REVISIONS_UNREAD =
    "Error: failed to read the ROM segment revisions of the Q7340 module";

std::string imageOf(int32_t slot) { return slot == LANBOOT ? LANBOOT_IMAGE : IMAGES[slot]; }
std::string slotName(int32_t slot) { return slot == LANBOOT ? "Lanboot" : "Segment" + std::to_string(slot); }
// The module event after which the image of `slot` is stored.
std::string storedBefore(int32_t slot) {
  static const std::vector<int32_t> order = {0, LANBOOT, 1, 2, 3, 4};
  auto at = std::find(order.begin(), order.end(), slot);
  return at == order.begin() ? "start romupdateInit" : stored(imageOf(*(at - 1)));
}
int32_t programIndex(int32_t slot) {
  return static_cast<int32_t>(std::find(PROGRAM_ORDER.begin(), PROGRAM_ORDER.end(), slot) -
                              PROGRAM_ORDER.begin());
}

std::vector<Row> rows() {
  std::vector<Row> all = {
      {"NoFault", &OLDER, {}, 0, "", 6},
      {"NoFaultConfirmedReboot", &OLDER_REBOOT, {}, 0, "", 6},
      {"NoFaultNewerGenerationForced", &NEWER_FORCED, {}, 0, "", 6},
      // Connection.
      {"ConnectionOpenFails", &OLDER,
       [](Matrix& m) { m.visaFaults.push_back({"viOpen", {}, {}, VI_ERROR_RSRC_NFOUND}); }, -1,
       "Error: Unable to open A16.'", 0},
      {"ConnectionMapFails", &OLDER,
       [](Matrix& m) { m.visaFaults.push_back({"viMapAddress", {}, {}, VI_ERROR_INV_SPACE}); },
       -1, "Error: Unable to map A16", 0},
      {"SyncNeverAnswered", &OLDER,
       [](Matrix& m) { m.config.faults.silentTags = {SYNC_TAG}; }, -1, NOT_INITIALIZED, 0},
      // Library loads.
      {"MessageLibraryNeverAnswered", &OLDER,
       [](Matrix& m) { m.config.faults.silentTags = {DOWNLOAD_TAG}; }, -1, NOT_INITIALIZED, 0},
      {"UpdateLibraryNeverAnswered", &OLDER,
       [](Matrix& m) { m.silentAfter("start dldmsgLibInit", DOWNLOAD_TAG); }, -1,
       "Error: failed initialize Q7340 app, check address", 0},
      {"UpdateLibraryBusError", &OLDER,
       [](Matrix& m) { m.failVisa("start dldmsgLibInit", "viMoveOut16", VI_ERROR_BERR); }, -1,
       "Error: failed initialize Q7340 app, check address", 0},
      // Revision query.
      {"RevisionsNeverAnswered", &OLDER,
       [](Matrix& m) { m.silentAfter("start romupdateInit", REVISIONS_TAG); }, -1, REVISIONS_UNREAD, 0},
      {"RevisionsRefused", &OLDER, [](Matrix& m) { m.config.faults.revisionReplyStatus = 5; }, -1,
       REVISIONS_UNREAD, 0},
      {"RevisionsReadFails", &OLDER,
       // The first read after the start takes the download's answer.
       [](Matrix& m) { m.failVisa("start romupdateInit", "viMoveIn16", VI_ERROR_SYSTEM_ERROR, 2); },
       -1, REVISIONS_UNREAD, 0},
      {"RevisionsNewerGenerationUnread", &NEWER_FORCED,
       [](Matrix& m) { m.config.faults.revisionReplyStatus = 5; }, -1, REVISIONS_UNREAD, 0},
      // Removal and unload.
      {"RemovalNeverAnswered", &OLDER,
       [](Matrix& m) { m.silentAfter(programmed(4), FILE_REMOVE_TAG); }, 0,
       "Error: failed to remove ROM file vxWorks_rom.hex", 6},
      {"UnloadRefused", &OLDER, [](Matrix& m) { m.config.faults.failingCommands["unld"] = -10; },
       -1, UNLOAD_FAILED, 6},
      {"UnloadNeverAnswered", &OLDER,
       [](Matrix& m) { m.config.faults.silentCommands = {"unld"}; }, -1, UNLOAD_FAILED, 6},
      // Reboot waits (their error line goes to standard output).
      {"ConfirmedRebootNeverCompletes", &OLDER_REBOOT,
       [](Matrix& m) { m.config.faults.rebootNeverCompletes = true; }, -1, "", 6},
      {"SelfTestRebootNeverCompletes", &NEWER_FORCED,
       [](Matrix& m) { m.config.faults.rebootNeverCompletes = true; }, -1, "", 5},
  };
  // Downloads: each image's store unanswered, or its transfer cut by a bus error.
  for (int32_t slot : PROGRAM_ORDER) {
    std::string failed = "Error: failed to download ROM file " + imageOf(slot);
    all.push_back({"Download" + slotName(slot) + "NeverAnswered", &OLDER,
                   [slot](Matrix& m) { m.silentAfter(storedBefore(slot), FILE_WRITE_TAG); }, -1,
                   failed, 0});
    all.push_back({"Download" + slotName(slot) + "BusError", &OLDER,
                   // Segment 0's store comes after the revision request.
                   [slot](Matrix& m) {
                     m.failVisa(storedBefore(slot), "viMoveOut16", VI_ERROR_BERR, slot == 0 ? 2 : 1);
                   },
                   -1, failed, 0});
  }
  // Programming: each function refused, unanswered, killed, interrupted.
  for (int32_t slot : PROGRAM_ORDER) {
    int32_t index = programIndex(slot);
    const char* command = PROGRAM_COMMANDS[slot];
    std::string failed = "Error: failed to program ROM file " + imageOf(slot);
    all.push_back({"Program" + slotName(slot) + "Refused", &OLDER,
                   [command](Matrix& m) { m.config.faults.failingCommands[command] = -8; }, -1,
                   failed, index});
    all.push_back({"Program" + slotName(slot) + "NeverAnswered", &OLDER,
                   [command](Matrix& m) { m.config.faults.silentCommands = {command}; }, -1,
                   failed, index + 1});
    all.push_back({"Program" + slotName(slot) + "ReplyReadFails", &OLDER,
                   [slot](Matrix& m) {
                     m.failVisa(programEvent(slot), "viMoveIn16", VI_ERROR_SYSTEM_ERROR);
                   },
                   -1, failed, index + 1});
    // The host dies while the module programs, and runs again at once: the
    // second run finishes what is left (lanboot only goes with the OS).
    all.push_back({"Program" + slotName(slot) + "HostKilledAndRestarted", &OLDER,
                   [slot](Matrix& m) { m.once(programEvent(slot), [](Matrix&) { throw HostKilled{}; }); },
                   0, "", slot == 0 ? 5 : 6});
    all.push_back({"Program" + slotName(slot) + "Interrupted", &OLDER,
                   [slot](Matrix& m) { m.once(programEvent(slot), [](Matrix&) { raise(SIGINT); }); },
                   -1, "Error: update interrupted by SIGINT after programming", 6});
  }
  // The newer generation, forced: killed while the operating system programs,
  // and interrupted before the reboot into it.
  all.push_back({"NewerGenerationHostKilledAndRestarted", &NEWER_FORCED,
                 [](Matrix& m) { m.once(programmed(0), [](Matrix&) { throw HostKilled{}; }); }, 0,
                 "", 6});
  all.push_back({"NewerGenerationInterruptedInTheFirstPass", &NEWER_FORCED,
                 [](Matrix& m) { m.once(programmed(2), [](Matrix&) { raise(SIGTERM); }); }, -1,
                 "Error: update interrupted by SIGTERM after programming", 5});
  return all;
}

INSTANTIATE_TEST_SUITE_P(Faults, Matrix, ::testing::ValuesIn(rows()),
                         [](const auto& info) { return info.param.name; });
