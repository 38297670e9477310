// Whole runs of the program against the simulated module on the virtual
// clock: the transcript on standard output and standard error and the exit
// status byte for byte, and what the module went through (its event log, its
// flash, what is still loaded or stored on it).
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/clock.h"
#include "payload/payload.h"
#include "sim/module/q7340_module.h"
#include "tests/session/transcript.h"
#include "tests/support/console_run.h"
#include "tests/support/simulated_vxi.h"

using namespace transcript;
using sim::module::FlashRevisions;
using sim::module::ModuleConfig;
using sim::module::Q7340Module;

namespace {

constexpr int32_t FILE_WRITE_TAG = 0x7B;
constexpr int32_t FILE_REMOVE_TAG = 0x79;
constexpr int32_t DOWNLOAD_TAG = 0x68;
const std::string NO_RESPONSE = "ERROR: no response, time out\n";

const std::vector<int32_t> ALL = {0, 1, 2, 3, 4};

Revisions revisionsOf(const FlashRevisions& flash) {
  return {flash.segment[0], flash.segment[1], flash.segment[2], flash.segment[3],
          flash.segment[4]};
}

// The order on the module of a pass that programs every segment of a module
// of the older generation.
Log storeAll() {
  return {stored(IMAGES[0]), stored(LANBOOT_IMAGE), stored(IMAGES[1]), stored(IMAGES[2]),
          stored(IMAGES[3]), stored(IMAGES[4])};
}
Log programAll() {
  return {programmed(0), programmedLanboot(), programmed(1), programmed(2), programmed(3),
          programmed(4)};
}
Log removeAll() {
  return {removed(IMAGES[0]), removed(LANBOOT_IMAGE), removed(IMAGES[1]), removed(IMAGES[2]),
          removed(IMAGES[3]), removed(IMAGES[4])};
}

// Sets a fault while the module's last event is `after`, so that it hits the
// request that follows that event alone.
std::function<void(Q7340Module&)> silentAfter(const std::string& after, int32_t tag) {
  return [after, tag](Q7340Module& module) {
    const Log& log = module.log();
    if (!log.empty() && log.back() == after)
      module.faults().silentTags.insert(tag);
    else
      module.faults().silentTags.erase(tag);
  };
}

class UpdateSession : public ::testing::Test {
 protected:
  UpdateSession() {
    config.programTime = 2.0;
    config.bootTime = 5.0;
  }

  ConsoleRun run(const std::vector<std::string>& arguments, const std::string& input) {
    vxi = std::make_unique<SimulatedMainframe>(config);
    if (onAccess) vxi->block->onAccess = onAccess;
    double start = elapsedSeconds();
    ConsoleRun result = runEntry("q7340romupdate", arguments, input);
    took = elapsedSeconds() - start;
    return result;
  }

  Q7340Module& module() { return *vxi->module; }

  std::vector<std::string> loaded() {
    std::vector<std::string> names;
    for (const auto& object : module().state().loaded) names.push_back(object.name);
    return names;
  }
  std::vector<std::string> files() {
    std::vector<std::string> names;
    for (const auto& [name, content] : module().state().files) names.push_back(name);
    return names;
  }
  void expectFlash(const Revisions& segments, int32_t lanboot) {
    EXPECT_EQ(revisionsOf(module().flash()), segments);
    EXPECT_EQ(module().flash().lanboot, lanboot);
  }

  ModuleConfig config;
  std::function<void(Q7340Module&)> onAccess;
  std::unique_ptr<SimulatedMainframe> vxi;
  double took = 0;  // virtual seconds the run took
};

// ---- Updates that run to their end ------------------------------------------

TEST_F(UpdateSession, OlderModuleIsUpdatedInOrderAndRebootedOnConfirmation) {
  config.flash = sim::module::olderModuleFlash();
  ConsoleRun result = run({}, "\n\ny\ny\n\n");

  EXPECT_EQ(result.out, updateTable() + prompts() + moduleTable(OLDER_MODULE) +
                            summary(ALL, false) + "Program new ROM segments now (y/n)[n]? " +
                            "\n" + downloading(ALL) + programming(ALL) + REBOOT_ADVICE +
                            REBOOT_QUESTION + REBOOTING + REBOOT_COMPLETE + CLOSING);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.inputLeft, "");
  EXPECT_EQ(module().log(), LIBRARY_LOADS + storeAll() + programAll() + removeAll() + Log{"reboot"});
  expectFlash(CARRIED, CARRIED_LANBOOT);
  EXPECT_TRUE(loaded().empty());
  EXPECT_TRUE(files().empty());
  // The module answers every programming command only when it is done.
  EXPECT_GT(took, 6 * config.programTime + 1.0 + config.bootTime);
}

TEST_F(UpdateSession, NonInteractiveUpdateAdvisesTheRebootAndUnloads) {
  config.flash = sim::module::olderModuleFlash();
  ConsoleRun result = run({"-n"}, "");

  EXPECT_EQ(result.out, updateTable() + moduleTable(OLDER_MODULE) + summary(ALL, false) +
                            downloading(ALL) + programming(ALL) + REBOOT_ADVICE + REBOOT_LATER);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(module().log(), LIBRARY_LOADS + storeAll() + programAll() + removeAll() + UNLOAD);
  EXPECT_EQ(loaded(), std::vector<std::string>{"dldmsgLib.out"});
  expectFlash(CARRIED, CARRIED_LANBOOT);
}

TEST_F(UpdateSession, QuietUpdatePrintsNothing) {
  config.flash = sim::module::olderModuleFlash();
  ConsoleRun result = run({"-q"}, "");

  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(module().log(), LIBRARY_LOADS + storeAll() + programAll() + removeAll() + UNLOAD);
}

TEST_F(UpdateSession, ConfirmedRebootThatDoesNotCompleteGivesItsResult) {
  config.flash = sim::module::olderModuleFlash();
  config.faults.rebootNeverCompletes = true;
  ConsoleRun result = run({"-S", "3"}, "\n\ny\n\n\n");

  EXPECT_EQ(result.out, updateTable() + prompts() + moduleTable(OLDER_MODULE) +
                            summary({3}, false) + "Program new ROM segment 3 now (y/n)[n]? " +
                            "\n" + downloading({3}) + programming({3}) + REBOOT_ADVICE +
                            REBOOT_QUESTION + REBOOTING + REBOOT_FAILED + CLOSING);
  EXPECT_EQ(result.err, "");
  EXPECT_LT(result.status, 0);
  const Log segmentThree = {stored(IMAGES[3]), programmed(3), removed(IMAGES[3]), "reboot"};
  EXPECT_EQ(module().log(), LIBRARY_LOADS + segmentThree);
}

TEST_F(UpdateSession, FailedUnloadIsAnError) {
  config.flash = sim::module::upToDateFlash();
  config.faults.failingCommands["unld"] = -10;
  ConsoleRun result = run({"-n"}, "");

  EXPECT_EQ(result.out, updateTable() + moduleTable(CARRIED) + ALL_UP_TO_DATE);
  EXPECT_EQ(result.err, "Error: failed to unload dldfile romupdate.out\n");
  EXPECT_EQ(result.status, -1);
}

TEST_F(UpdateSession, DumpedImageComesBeforeTheDownloadAndTheRebootCanBeDeclined) {
  config.flash = sim::module::olderModuleFlash();
  ConsoleRun result = run({"-d", "1", "-S", "1"}, "\n\ny\nn\n\n");

  const PayloadRecord* vxiga = payloadFind("vxiga.hex");
  ASSERT_NE(vxiga, nullptr);
  std::string image(reinterpret_cast<const char*>(payloadData(vxiga)), vxiga->fileSize);
  EXPECT_EQ(result.out, updateTable() + prompts() + moduleTable(OLDER_MODULE) +
                            summary({1}, false) + "Program new ROM segment 1 now (y/n)[n]? " +
                            "\n" + image + downloading({1}) + programming({1}) + REBOOT_ADVICE +
                            REBOOT_QUESTION + REBOOT_LATER + CLOSING);
  EXPECT_EQ(result.err, "dumping file vxiga.hex\n");
  EXPECT_EQ(result.status, 0);
  const Log segmentOne = {stored(IMAGES[1]), programmed(1), removed(IMAGES[1])};
  EXPECT_EQ(module().log(), LIBRARY_LOADS + segmentOne + UNLOAD);
  Revisions expected = OLDER_MODULE;
  expected[1] = CARRIED[1];
  expectFlash(expected, 100000);
}

TEST_F(UpdateSession, LanbootAloneOnAnUpToDateModule) {
  config.flash = sim::module::upToDateFlash();
  config.flash.lanboot = 100000;
  ConsoleRun result = run({"-S", "99"}, "\n\ny\nn\n\n");

  EXPECT_EQ(result.out, updateTable() + prompts() + moduleTable(CARRIED) + summary({}, true) +
                            "Program new ROM segments now (y/n)[n]? " + "\n" +
                            downloading({}, true) + programming({}, true) + REBOOT_ADVICE +
                            REBOOT_QUESTION + REBOOT_LATER + CLOSING);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  const Log lanbootOnly = {stored(LANBOOT_IMAGE), programmedLanboot(), removed(LANBOOT_IMAGE)};
  EXPECT_EQ(module().log(), LIBRARY_LOADS + lanbootOnly + UNLOAD);
  expectFlash(CARRIED, CARRIED_LANBOOT);
}

TEST_F(UpdateSession, LanbootAskedForGoesOnceWithTheOperatingSystem) {
  config.flash = sim::module::olderModuleFlash();
  ConsoleRun result = run({"-n", "-S", "99"}, "");

  EXPECT_EQ(result.out, updateTable() + moduleTable(OLDER_MODULE) + summary(ALL, true) +
                            downloading(ALL) + programming(ALL) + REBOOT_ADVICE + REBOOT_LATER);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(module().log(), LIBRARY_LOADS + storeAll() + programAll() + removeAll() + UNLOAD);
}

// Revisions that could not be read are unknown, not 0: nothing is chosen or
// programmed from them, -r shows no table, and the status is -1.
struct RevisionQueryCase {
  std::string name;
  std::vector<std::string> arguments;
};
void PrintTo(const RevisionQueryCase& c, std::ostream* os) { *os << c.name; }

class FailedRevisionQuery : public UpdateSession,
                            public ::testing::WithParamInterface<RevisionQueryCase> {};

TEST_P(FailedRevisionQuery, EndsTheSessionWithoutDecidingAnything) {
  config.flash = sim::module::newerGenerationFlash();
  config.faults.revisionReplyStatus = 5;
  ConsoleRun result = run(GetParam().arguments, "");

  EXPECT_EQ(result.out, updateTable());
  EXPECT_EQ(result.err,
            "getRomRevs: ERROR, st = 0x5\n"
            "Error: failed to read the ROM segment revisions of the Q7340 module\n");
  EXPECT_EQ(result.status, -1);
  EXPECT_EQ(module().log(), LIBRARY_LOADS + UNLOAD);
  expectFlash(NEWER_GENERATION, 120500);
}

INSTANTIATE_TEST_SUITE_P(Session, FailedRevisionQuery,
                         ::testing::Values(RevisionQueryCase{"Update", {"-n"}},
                                           RevisionQueryCase{"Forced", {"-n", "-f"}},
                                           RevisionQueryCase{"RevisionsOnly", {"-r", "-n"}}),
                         [](const auto& info) { return info.param.name; });

// The second pass, after the reboot into the new operating system, must not
// show the first pass's revisions as the module's when its query fails.
TEST_F(UpdateSession, FailedRevisionQueryInTheSecondPassProgramsNoSelfTest) {
  config.flash = sim::module::newerGenerationFlash();
  onAccess = [](Q7340Module& module) {
    if (!module.log().empty() && module.log().back() == "reboot")
      module.faults().revisionReplyStatus = 9;
  };
  ConsoleRun result = run({"-n", "-f"}, "");

  EXPECT_EQ(result.out, updateTable() + moduleTable(NEWER_GENERATION) + SELFTEST_LATER +
                            summary({0, 1, 2, 3}, false) + downloading({0, 1, 2, 3}) +
                            programming({0, 1, 2, 3}) + REBOOTING + REBOOT_COMPLETE);
  EXPECT_EQ(result.err,
            "getRomRevs: ERROR, st = 0x9\n"
            "Error: failed to read the ROM segment revisions of the Q7340 module\n");
  EXPECT_EQ(result.status, -1);
  const Log& log = module().log();
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(Log(log.end() - 6, log.end()), Log{"reboot"} + LIBRARY_LOADS + UNLOAD);
  EXPECT_EQ(std::count(log.begin(), log.end(), programmed(4)), 0);
}

// A forced update of a module of the newer generation: the operating system
// and lanboot first, the reboot into the older generation without a question,
// then the self test alone in a second pass, which the rebooted module
// reports as the older generation (so no self-test revision is recorded).
TEST_F(UpdateSession, ForcedUpdateOfNewerGenerationProgramsTheSelfTestAfterTheReboot) {
  config.flash = sim::module::newerGenerationFlash();
  ConsoleRun result = run({"-f"}, "\n\ny\ny\n\n");

  EXPECT_EQ(result.out,
            updateTable() + prompts() + moduleTable(NEWER_GENERATION) + SELFTEST_LATER +
                summary({0, 1, 2, 3}, false) + "Program all ROM segments now (y/n)[n]? " + "\n" +
                downloading({0, 1, 2, 3}) + programming({0, 1, 2, 3}) + REBOOTING +
                REBOOT_COMPLETE + moduleTable(CARRIED) + summary({4}, false) + downloading({4}) +
                programming({4}) + REBOOT_ADVICE + REBOOT_QUESTION + REBOOTING + REBOOT_COMPLETE +
                CLOSING);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.inputLeft, "");
  const Log firstPass = {stored(IMAGES[0]),   stored(LANBOOT_IMAGE), stored(IMAGES[1]),
                         stored(IMAGES[2]),   stored(IMAGES[3]),     programmed(0),
                         programmedLanboot(), programmed(1),         programmed(2),
                         programmed(3),       removed(IMAGES[0]),    removed(LANBOOT_IMAGE),
                         removed(IMAGES[1]),  removed(IMAGES[2]),    removed(IMAGES[3])};
  const Log secondPass = {stored(IMAGES[4]), programmed(4), removed(IMAGES[4]), "reboot"};
  EXPECT_EQ(module().log(), LIBRARY_LOADS + firstPass + Log{"reboot"} + LIBRARY_LOADS + secondPass);
  expectFlash(CARRIED, CARRIED_LANBOOT);
}

TEST_F(UpdateSession, SelfTestRebootThatDoesNotCompleteEndsTheSession) {
  config.flash = sim::module::newerGenerationFlash();
  config.faults.rebootNeverCompletes = true;
  ConsoleRun result = run({"-f", "-n"}, "");

  EXPECT_EQ(result.out, updateTable() + moduleTable(NEWER_GENERATION) + SELFTEST_LATER +
                            summary({0, 1, 2, 3}, false) + downloading({0, 1, 2, 3}) +
                            programming({0, 1, 2, 3}) + REBOOTING + REBOOT_FAILED);
  EXPECT_EQ(result.err, "");
  EXPECT_LT(result.status, 0);
  EXPECT_EQ(module().log().back(), "reboot");
  EXPECT_EQ(std::count(module().log().begin(), module().log().end(), "load romupdate.out"), 1);
}

// ---- Runs that end without programming ---------------------------------------

struct NothingToProgramCase {
  std::string name;
  FlashRevisions flash;
  std::vector<std::string> arguments;
  Revisions shown;      // the module's revisions in its table
  std::string verdict;  // what the session says instead of programming
};
void PrintTo(const NothingToProgramCase& c, std::ostream* os) { *os << c.name; }

FlashRevisions withSegment(FlashRevisions flash, int32_t segment, int32_t revision) {
  flash.segment[segment] = revision;
  return flash;
}
FlashRevisions withRecordedSelftest(FlashRevisions flash, int32_t revision) {
  flash.selftestRecorded = revision;
  return flash;
}

class NothingToProgram : public UpdateSession,
                         public ::testing::WithParamInterface<NothingToProgramCase> {};

TEST_P(NothingToProgram, SaysWhyAndUnloads) {
  const NothingToProgramCase& c = GetParam();
  config.flash = c.flash;
  bool quiet = std::find(c.arguments.begin(), c.arguments.end(), "-q") != c.arguments.end();
  bool interactive = !quiet && c.arguments.empty();
  ConsoleRun result = run(c.arguments, "\n\n\n");

  std::string expected = c.verdict;
  if (!quiet)
    expected = updateTable() + (interactive ? prompts() : "") + moduleTable(c.shown) + expected +
               (interactive ? CLOSING : "");
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(module().log(), LIBRARY_LOADS + UNLOAD);
  EXPECT_EQ(module().flash().segment[0], c.flash.segment[0]);
  EXPECT_EQ(loaded(), std::vector<std::string>{"dldmsgLib.out"});
}

const FlashRevisions OLDER_SELFTEST_ON_NEWER_OS =
    withRecordedSelftest(sim::module::newerGenerationFlash(), 10700);

INSTANTIATE_TEST_SUITE_P(
    Session, NothingToProgram,
    ::testing::Values(
        NothingToProgramCase{"UpToDate", sim::module::upToDateFlash(), {}, CARRIED,
                             ALL_UP_TO_DATE},
        NothingToProgramCase{"SpecifiedSegmentNotNewer",
                             sim::module::upToDateFlash(),
                             {"-n", "-S", "2"},
                             CARRIED,
                             "Specified ROM segment 2 is up to date\n"},
        NothingToProgramCase{"ModuleRevisionAboveTheUpdates",
                             withSegment(sim::module::upToDateFlash(), 2, 2080000),
                             {},
                             {110000, 2051614, 2080000, 3041016, 10800},
                             ALL_UP_TO_DATE},
        NothingToProgramCase{"NewerGenerationKeepsItsSelfTest",
                             OLDER_SELFTEST_ON_NEWER_OS,
                             {},
                             {120500, 2051614, 2071509, 3041016, 10700},
                             NOT_COMPATIBLE},
        NothingToProgramCase{"NewerGenerationKeepsItsSelfTestAlsoWhenQuiet",
                             OLDER_SELFTEST_ON_NEWER_OS,
                             {"-q"},
                             {},
                             NOT_COMPATIBLE}),
    [](const auto& info) { return info.param.name; });

// The programming question in its four forms, each answered with something
// other than a lower-case y.
struct QuestionCase {
  std::string name;
  FlashRevisions flash;
  std::vector<std::string> arguments;
  std::vector<int32_t> chosen;
  std::string question;
  std::string answer;
};
void PrintTo(const QuestionCase& c, std::ostream* os) { *os << c.name; }

class ProgrammingDeclined : public UpdateSession,
                            public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(ProgrammingDeclined, CancelsAndUnloads) {
  const QuestionCase& c = GetParam();
  config.flash = c.flash;
  ConsoleRun result = run(c.arguments, "\n\n" + c.answer + "\n\n");

  EXPECT_EQ(result.out, updateTable() + prompts() + moduleTable(revisionsOf(c.flash)) +
                            summary(c.chosen, false) + c.question + CANCELED + CLOSING);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(module().log(), LIBRARY_LOADS + UNLOAD);
  EXPECT_EQ(revisionsOf(module().flash()), revisionsOf(c.flash));
}

const FlashRevisions NEWER_FPGA2 = withSegment(sim::module::upToDateFlash(), 2, 2080000);

INSTANTIATE_TEST_SUITE_P(
    Session, ProgrammingDeclined,
    ::testing::Values(
        QuestionCase{"NewSegments", sim::module::olderModuleFlash(), {}, ALL,
                     "Program new ROM segments now (y/n)[n]? ", "n"},
        QuestionCase{"NewSegment", sim::module::olderModuleFlash(), {"-S", "1"}, {1},
                     "Program new ROM segment 1 now (y/n)[n]? ", "N"},
        QuestionCase{"AllForced", NEWER_FPGA2, {"-f"}, ALL,
                     "Program all ROM segments now (y/n)[n]? ", ""},
        QuestionCase{"ForcedSegment", NEWER_FPGA2, {"-f", "-S", "2"}, {2},
                     "Program ROM segment 2 now (y/n)[n]? ", "Yes"}),
    [](const auto& info) { return info.param.name; });

TEST_F(UpdateSession, RevisionsOnlyLeavesTheLibrariesLoaded) {
  config.flash = sim::module::olderModuleFlash();
  ConsoleRun result = run({"-r"}, "\n\n\n");

  EXPECT_EQ(result.out, updateTable() + prompts() + moduleTable(OLDER_MODULE) + CLOSING);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(module().log(), LIBRARY_LOADS);
  EXPECT_EQ(loaded(), (std::vector<std::string>{"dldmsgLib.out", "romupdate.out"}));
}

// ---- Failures on the way -------------------------------------------------------

struct FailureCase {
  std::string name;
  std::function<void(ModuleConfig&)> fault;
  std::string after;    // when set: the file-write request after this event is not answered
  std::string outTail;  // after the summary
  std::string err;
  Log events;           // between the library loads and the unload
  std::vector<std::string> filesLeft;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class UpdateFailure : public UpdateSession, public ::testing::WithParamInterface<FailureCase> {};

// A failed download or programming stops the pass: the images stored so far
// stay on the module, the update library is unloaded, the status is -1.
TEST_P(UpdateFailure, StopsAndUnloadsWithoutRemovingTheImages) {
  const FailureCase& c = GetParam();
  config.flash = sim::module::olderModuleFlash();
  if (c.fault) c.fault(config);
  if (!c.after.empty()) onAccess = silentAfter(c.after, FILE_WRITE_TAG);
  ConsoleRun result = run({"-n"}, "");

  EXPECT_EQ(result.out, updateTable() + moduleTable(OLDER_MODULE) + summary(ALL, false) + c.outTail);
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.status, -1);
  EXPECT_EQ(module().log(), LIBRARY_LOADS + c.events + UNLOAD);
  std::vector<std::string> left = c.filesLeft;
  std::sort(left.begin(), left.end());
  EXPECT_EQ(files(), left);
  EXPECT_EQ(loaded(), std::vector<std::string>{"dldmsgLib.out"});
}

INSTANTIATE_TEST_SUITE_P(
    Session, UpdateFailure,
    ::testing::Values(
        FailureCase{"DownloadOfSegmentOne",
                    {},
                    stored(LANBOOT_IMAGE),
                    "Downloading ROM segment 0 \nDownloading ROM segment 1 \n" + NO_RESPONSE,
                    "Error: failed to download ROM file vxiga.hex\n",
                    {stored(IMAGES[0]), stored(LANBOOT_IMAGE), stored(IMAGES[1])},
                    {IMAGES[0], LANBOOT_IMAGE, IMAGES[1]}},
        FailureCase{"DownloadOfLanboot",
                    {},
                    stored(IMAGES[0]),
                    "Downloading ROM segment 0 \n" + NO_RESPONSE,
                    "Error: failed to download ROM file bootrom.hex\n",
                    {stored(IMAGES[0]), stored(LANBOOT_IMAGE)},
                    {IMAGES[0], LANBOOT_IMAGE}},
        FailureCase{"ProgrammingOfSegmentTwo",
                    [](ModuleConfig& config) {
                      config.faults.failingCommands["q7340FlashProgBbbga"] = -8;
                    },
                    "",
                    downloading(ALL) +
                        "Programing ROM segment 0\nPrograming ROM segment 1\n"
                        "Programing ROM segment 2\n",
                    "Error: failed to program ROM file bbbga.hex\n",
                    storeAll() + Log{programmed(0), programmedLanboot(), programmed(1)},
                    {IMAGES[0], LANBOOT_IMAGE, IMAGES[1], IMAGES[2], IMAGES[3], IMAGES[4]}},
        FailureCase{"ProgrammingOfLanboot",
                    [](ModuleConfig& config) {
                      config.faults.failingCommands["q7340FlashProgLanboot"] = -1;
                    },
                    "",
                    downloading(ALL) + "Programing ROM segment 0\n",
                    "Error: failed to program ROM file bootrom.hex\n",
                    storeAll() + Log{programmed(0)},
                    {IMAGES[0], LANBOOT_IMAGE, IMAGES[1], IMAGES[2], IMAGES[3], IMAGES[4]}}),
    [](const auto& info) { return info.param.name; });

TEST_F(UpdateSession, FailedRemovalIsReportedAndTheSessionGoesOn) {
  config.flash = sim::module::olderModuleFlash();
  onAccess = silentAfter(removed(LANBOOT_IMAGE), FILE_REMOVE_TAG);
  ConsoleRun result = run({"-n"}, "");

  EXPECT_EQ(result.out, updateTable() + moduleTable(OLDER_MODULE) + summary(ALL, false) +
                            downloading(ALL) + programming(ALL) + NO_RESPONSE + REBOOT_ADVICE +
                            REBOOT_LATER);
  EXPECT_EQ(result.err, "Error: failed to remove ROM file vxiga.hex\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(module().log(), LIBRARY_LOADS + storeAll() + programAll() + removeAll() + UNLOAD);
}

struct ConnectionCase {
  std::string name;
  std::function<void(ModuleConfig&)> fault;
  std::string after;  // when set: the download request after this event is not answered
  std::vector<std::string> arguments;
  std::string outTail;  // after the table of this update
  std::string err;
  Log events;
};
void PrintTo(const ConnectionCase& c, std::ostream* os) { *os << c.name; }

class ConnectionFailure : public UpdateSession,
                          public ::testing::WithParamInterface<ConnectionCase> {};

TEST_P(ConnectionFailure, EndsWithAnErrorLine) {
  const ConnectionCase& c = GetParam();
  config.flash = sim::module::olderModuleFlash();
  if (c.fault) c.fault(config);
  if (!c.after.empty()) onAccess = silentAfter(c.after, DOWNLOAD_TAG);
  ConsoleRun result = run(c.arguments, "");

  EXPECT_EQ(result.out, updateTable() + c.outTail);
  EXPECT_EQ(result.err, c.err);
  EXPECT_EQ(result.status, -1);
  EXPECT_EQ(module().log(), c.events);
  expectFlash(OLDER_MODULE, 100000);
}

INSTANTIATE_TEST_SUITE_P(
    Session, ConnectionFailure,
    ::testing::Values(
        ConnectionCase{"LanRefused",
                       {},
                       "",
                       {"-n", "-I", "10.1.2.3"},
                       "",
                       "Error: update over lan not supported\n",
                       {}},
        ConnectionCase{"MessageLibraryNotAnswered",
                       [](ModuleConfig& config) {
                         config.faults.silentTags.insert(DOWNLOAD_TAG);
                       },
                       "",
                       {"-n"},
                       NO_RESPONSE,
                       "Error: failed initialize Q7340, check address\n",
                       {"load dldmsgLib.out", MSG_LIB_STARTED}},
        ConnectionCase{"UpdateLibraryNotAnswered",
                       {},
                       MSG_LIB_STARTED,
                       {"-n"},
                       NO_RESPONSE,
                       "Error: failed initialize Q7340 app, check address\n",
                       LIBRARY_LOADS},
        // An empty address reads all ones, which is no module asking for a
        // reset: no reset runs, and the first request fails.
        ConnectionCase{"NoModuleAtTheAddress",
                       {},
                       "",
                       {"-n", "-L", "64"},
                       "",
                       "Error: failed initialize Q7340, check address\n",
                       {}}),
    [](const auto& info) { return info.param.name; });

// ---- Reboots -----------------------------------------------------------------------

struct StartupCase {
  std::string name;
  std::function<void(ModuleConfig&)> fault;
  std::vector<std::string> arguments;
  std::string out;
  int32_t status;
  Log events;
  double tookAtLeast;  // virtual seconds
  double tookAtMost;
};
void PrintTo(const StartupCase& c, std::ostream* os) { *os << c.name; }

class StartupReset : public UpdateSession, public ::testing::WithParamInterface<StartupCase> {};

// A module that asks for a reset at power-up is reset through its register
// before anything is loaded; a -R request then counts as done.
TEST_P(StartupReset, ResetsOnceThroughTheRegister) {
  const StartupCase& c = GetParam();
  config.flash = sim::module::upToDateFlash();
  config.resetRequestAtPowerUp = true;
  if (c.fault) c.fault(config);
  ConsoleRun result = run(c.arguments, "");

  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(module().log(), c.events);
  EXPECT_GE(took, c.tookAtLeast);
  EXPECT_LE(took, c.tookAtMost);
}

const std::string RESET_FAILED = "Rebooting Q7340\n" + REBOOT_FAILED;

INSTANTIATE_TEST_SUITE_P(
    Session, StartupReset,
    ::testing::Values(
        // Handshake 0.05 s, the write of 8, boot 5 s (the 200 ms pause lies
        // within it).
        StartupCase{"ModuleComesBack",
                    {},
                    {"-n"},
                    updateTable() + STARTUP_RESET + moduleTable(CARRIED) + ALL_UP_TO_DATE,
                    0,
                    Log{"reset"} + LIBRARY_LOADS + UNLOAD,
                    5.05,
                    5.2},
        StartupCase{"RebootRequestCountsAsDone",
                    {},
                    {"-n", "-R"},
                    STARTUP_RESET + moduleTable(CARRIED) + ALL_UP_TO_DATE,
                    0,
                    Log{"reset"} + LIBRARY_LOADS + UNLOAD,
                    5.05,
                    5.2},
        // Bit 0 never clears: the first half gives up after 3 s, the wait
        // then finds bit 0 set at its first read.
        StartupCase{"HandshakeTimesOut",
                    [](ModuleConfig& config) { config.faults.readyBitStuck = true; },
                    {"-r", "-n"},
                    updateTable() + STARTUP_RESET + moduleTable(CARRIED),
                    0,
                    LIBRARY_LOADS,
                    3.2,
                    3.4},
        StartupCase{"ModuleNeverComesBack",
                    [](ModuleConfig& config) { config.faults.rebootNeverCompletes = true; },
                    {"-n"},
                    updateTable() + RESET_FAILED,
                    -1,
                    {"reset"},
                    35.25,
                    35.3},
        StartupCase{"ModuleNeverComesBackQuietly",
                    [](ModuleConfig& config) { config.faults.rebootNeverCompletes = true; },
                    {"-q"},
                    "",
                    -1,
                    {"reset"},
                    35.25,
                    35.3},
        // Bit 2 never sets: no write of 8, the module stays in the handshake.
        StartupCase{"HandshakeNeverAcknowledged",
                    [](ModuleConfig& config) { config.faults.handshakeBitNeverSet = true; },
                    {"-n"},
                    updateTable() + RESET_FAILED,
                    -1,
                    {},
                    38.2,
                    38.3}),
    [](const auto& info) { return info.param.name; });

TEST_F(UpdateSession, NoResetWithoutTheRequestBit) {
  config.flash = sim::module::upToDateFlash();
  ConsoleRun result = run({"-r", "-n"}, "");
  EXPECT_EQ(result.out, updateTable() + moduleTable(CARRIED));
  EXPECT_EQ(module().state().counters.controlWrites, 0u);
}

struct RebootCase {
  std::string name;
  bool neverComesBack;
  std::vector<std::string> arguments;
  std::string input;
  std::string out;
  bool failed;
  double tookAtLeast;
  double tookAtMost;
};
void PrintTo(const RebootCase& c, std::ostream* os) { *os << c.name; }

class RequestedReboot : public UpdateSession, public ::testing::WithParamInterface<RebootCase> {};

TEST_P(RequestedReboot, RebootsAndWaits) {
  const RebootCase& c = GetParam();
  config.flash = sim::module::olderModuleFlash();
  config.faults.rebootNeverCompletes = c.neverComesBack;
  ConsoleRun result = run(c.arguments, c.input);

  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(result.err, "");
  if (c.failed)
    EXPECT_LT(result.status, 0);
  else
    EXPECT_EQ(result.status, 0);
  EXPECT_EQ(module().log(), Log{"reboot"});
  EXPECT_GE(took, c.tookAtLeast);
  EXPECT_LE(took, c.tookAtMost);
}

const std::string REQUESTED_REBOOT =
    "Rebooting Q7340 VXI0::128\nWaiting up to 35 Sec for reboot to complete\n";

INSTANTIATE_TEST_SUITE_P(
    Session, RequestedReboot,
    ::testing::Values(
        // Boot 5 s, then the 200 ms pause.
        RebootCase{"ModuleComesBack", false, {"-R"}, "\n\n\n",
                   prompts() + REQUESTED_REBOOT + REBOOT_COMPLETE + CLOSING, false, 5.2, 5.25},
        RebootCase{"QuietPrintsNothing", false, {"-R", "-q"}, "", "", false, 5.2, 5.25},
        // The 1 s pause and the 35 s wait of the request, then 200 ms.
        RebootCase{"ModuleNeverComesBack", true, {"-R", "-n"}, "",
                   REQUESTED_REBOOT + REBOOT_FAILED, true, 36.2, 36.25}),
    [](const auto& info) { return info.param.name; });

// ---- The VISA trace -------------------------------------------------------------

TEST_F(UpdateSession, VisaTraceRecordsEveryCallOneLineEach) {
  std::string path = ::testing::TempDir() + "q7340-trace.jsonl";
  config.flash = sim::module::olderModuleFlash();
  ConsoleRun result = run({"-r", "-n", "--visa-trace=" + path}, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, updateTable() + moduleTable(OLDER_MODULE));  // unchanged by the trace

  std::ifstream trace(path);
  std::string line;
  ASSERT_TRUE(std::getline(trace, line));
  EXPECT_EQ(line,
            "{\"trace\":\"q7340romupdate VISA calls\",\"version\":\"1.0.1.0\","
            "\"library\":\"(provider in the process)\",\"implVersion\":\"0x00100001\"}");
  std::vector<std::string> calls;
  while (std::getline(trace, line)) {
    EXPECT_EQ(line.rfind("{\"t\":", 0), 0u) << line;
    EXPECT_EQ(line.back(), '}') << line;
    calls.push_back(line);
  }
  ASSERT_GE(calls.size(), 4u);
  EXPECT_NE(calls[0].find("\"fn\":\"viOpenDefaultRM\""), std::string::npos);
  EXPECT_NE(calls[1].find("\"name\":\"VXI0::MEMACC\""), std::string::npos);
  // The first frame the session sends: the empty request that makes the channel quiet.
  auto sync = std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
    return call.find("\"fn\":\"viMoveOut16\"") != std::string::npos;
  });
  ASSERT_NE(sync, calls.end());
  EXPECT_NE(sync->find("\"count\":4,\"status\":0,\"data\":\"000000000000005f\""),
            std::string::npos)
      << *sync;
  std::remove(path.c_str());
}

// ---- The report for fleet tooling ------------------------------------------------

std::string fileText(const std::string& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST_F(UpdateSession, ReportOfAnUpdateThatFailsHasEveryStepAndTheErrorLines) {
  std::string path = ::testing::TempDir() + "q7340-report.json";
  config.flash = sim::module::olderModuleFlash();
  config.faults.failingCommands["q7340FlashProgVxiga"] = -8;
  ConsoleRun result = run({"-n", "-S", "1", "--report=" + path}, "");
  EXPECT_EQ(result.status, -1);
  EXPECT_EQ(result.out, updateTable() + moduleTable(OLDER_MODULE) + summary({1}, false) +
                            downloading({1}) + "Programing ROM segment 1\n");  // unchanged
  EXPECT_EQ(fileText(path),
            "{\"program\":\"q7340romupdate\",\"version\":\"1.0.1.0\",\"interface\":\"VXI0\","
            "\"logicalAddress\":128,\"carried\":[110000,2051614,2071509,3041016,10800],"
            "\"carriedLanboot\":110000,\"moduleBefore\":[100000,2041200,2061000,3030500,10700],"
            "\"moduleAfter\":null,\"chosen\":[1],\"lanboot\":false,\"steps\":["
            "{\"step\":\"load\",\"subject\":\"dldmsgLib.out\",\"result\":0},"
            "{\"step\":\"load\",\"subject\":\"romupdate.out\",\"result\":0},"
            "{\"step\":\"revisions\",\"subject\":\"\",\"result\":0},"
            "{\"step\":\"store\",\"subject\":\"vxiga.hex\",\"result\":0},"
            "{\"step\":\"program\",\"subject\":\"q7340FlashProgVxiga\",\"result\":-8},"
            "{\"step\":\"unload\",\"subject\":\"unld\",\"result\":0}],\"status\":-1,"
            "\"errors\":[\"Error: failed to program ROM file vxiga.hex\"]}\n");
  std::remove(path.c_str());
}

TEST_F(UpdateSession, NoReportWithoutASessionAndOneThatCannotBeWrittenIsAnError) {
  std::string missingDirectory = ::testing::TempDir() + "no-such-directory/report.json";
  config.flash = sim::module::olderModuleFlash();
  ConsoleRun usage = run({"-u", "--report=" + missingDirectory}, "");
  EXPECT_EQ(usage.status, 0);  // nothing reached the module: no report wanted
  vxi.reset();
  ConsoleRun revisions = run({"-n", "-r", "--report=" + missingDirectory}, "");
  EXPECT_EQ(revisions.status, -1);
  EXPECT_EQ(revisions.err, "Error: cannot write the report " + missingDirectory +
                               ": No such file or directory\n");
}

}  // namespace
