// The update session: connection, library loads, the revision query and
// table, selection, confirmation, download, programming, removal, the reboot
// or the advice to reboot, and the unload. When an update moves the module
// from one operating-system generation to the other, the self test is
// programmed only after the module has rebooted into the new operating
// system, in a second pass of the same session.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/clock.h"
#include "common/console.h"
#include "common/progress.h"
#include "driver/dialogue.h"
#include "driver/interruption.h"
#include "driver/module_reboot.h"
#include "driver/progress_view.h"
#include "driver/revision_table.h"
#include "driver/run_report.h"
#include "driver/session.h"
#include "msg/msg.h"
#include "payload/payload.h"

namespace {

constexpr int32_t NEWER_OS_GENERATION = 120000;
constexpr int32_t OS_SEGMENT = 0;
constexpr int32_t SELF_TEST_SEGMENT = 4;
constexpr uint32_t A16_WINDOW_SIZE = 65536;
constexpr const char* UPDATE_LIBRARY = "romupdate.out";

enum SelftestState { SELFTEST_NORMAL = 0, SELFTEST_AFTER_REBOOT = 1, SELFTEST_SECOND_PASS = 2 };

// What one pass decided: end the session with a status, or run again.
struct PassOutcome {
  bool secondPass;
  int32_t status;
};

// Session state, owned by the session for the life of the process.
struct SessionState {
  VxiDevice* vximem_id;           // the interface's memory-access resource
  void* a16;                      // the mapped A16 window, 65536 bytes from bus address 0
  LwfChannel* cmdLwf;             // the command channel to the module
  int32_t vxistatus;              // last value read from the Status register
  int32_t updateSegRev[ROM_SEGMENT_COUNT];  // revisions in this update
  int32_t romSegRev[ROM_SEGMENT_COUNT];     // revisions in the module's flash
  int32_t progSeg[ROM_SEGMENT_COUNT];       // 1 = program this segment in this pass
  int32_t lanbootLoaded;          // "bootrom.hex" is stored on the module
  int32_t selftestState;
  char selftestrev_str[48];       // decimal text of the self-test image's revision
};

SessionState session;

bool isNewerGeneration(int32_t osRevision) { return osRevision >= NEWER_OS_GENERATION; }

void say(const UpdateOptions* options, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void say(const UpdateOptions* options, const char* format, ...) {
  if (options->quiet) return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(consoleOut, format, arguments);
  va_end(arguments);
}

int32_t sessionError(const char* format, const char* text = nullptr) {
  std::fprintf(consoleErr, format, text);
  return -1;
}

// Reports a failed transfer of one image; false, so that a step can end with it.
bool imageFailed(const char* format, const PayloadRecord* image) {
  std::fprintf(consoleErr, format, image->name);
  return false;
}

bool anyChosen() {
  for (int32_t chosen : session.progSeg)
    if (chosen) return true;
  return false;
}

// The embedded images of the segments and of lanboot.
const PayloadRecord* segmentImage(int32_t segment) { return romSegments[segment].efile; }

int32_t storeFile(const PayloadRecord* image) {
  progressViewSubject(image->name);
  int32_t result = q7340MsgFilePut(session.cmdLwf, image->name, payloadData(image),
                                   static_cast<int32_t>(image->fileSize));
  reportStep("store", image->name, result);
  return result;
}

int32_t execute(const char* command, const MsgParameter* parameters = nullptr) {
  int32_t result = q7340MsgCmdXeq(session.cmdLwf, command, parameters);
  reportStep(std::strcmp(command, "unld") == 0 ? "unload" : "program", command, result);
  return result;
}

void removeFile(const PayloadRecord* image) {
  int32_t result = q7340MsgRm(session.cmdLwf, image->name);
  reportStep("remove", image->name, result);
  if (result < 0) std::fprintf(consoleErr, "Error: failed to remove ROM file %s\n", image->name);
}

// Step U: unload the update library. A pass that failed in its download or
// programming keeps -1 whatever the unload says.
int32_t unloadUpdateLibrary(bool failedBefore) {
  const MsgParameter parameters[] = {{"S", UPDATE_LIBRARY}, {nullptr, nullptr}};
  int32_t result = execute("unld", parameters);
  if (result < 0) {
    std::fprintf(consoleErr, "Error: failed to unload dldfile %s\n", UPDATE_LIBRARY);
    return -1;
  }
  return failedBefore ? -1 : result;
}

void selectSegments(const UpdateOptions* options) {
  for (int32_t i = 0; i < ROM_SEGMENT_COUNT; ++i) {
    bool asked = options->segment == -1 || options->segment == i;
    bool newer = session.updateSegRev[i] > session.romSegRev[i];
    session.progSeg[i] = asked && (options->force || newer) ? 1 : 0;
  }
}

// The self test of one generation does not run on an operating system of the
// other: it waits for the reboot into the new one, or is left out.
void applySelftestRule(const UpdateOptions* options) {
  if (!session.progSeg[SELF_TEST_SEGMENT]) return;
  if (isNewerGeneration(session.romSegRev[OS_SEGMENT]) ==
      isNewerGeneration(session.updateSegRev[OS_SEGMENT]))
    return;
  if (session.progSeg[OS_SEGMENT]) {
    session.selftestState = SELFTEST_AFTER_REBOOT;
    say(options, "Selftest will be updated after the module reboots.\n\n");
  } else {
    std::fprintf(consoleOut, "Selftest will not be updated because it is not compatible with OS.\n");
    std::fprintf(consoleOut, "Update the OS before updating selftest.\n\n");
  }
  session.progSeg[SELF_TEST_SEGMENT] = 0;
}

void printSummary(const UpdateOptions* options) {
  if (options->quiet) return;
  std::fprintf(consoleOut, "ROM segment to be programmed:\n");
  printRevisionHead(consoleOut);
  for (int32_t i = 0; i < ROM_SEGMENT_COUNT; ++i)
    if (session.progSeg[i]) printRevisionRow(consoleOut, romSegments[i], session.updateSegRev[i]);
  if (options->lanboot) std::fprintf(consoleOut, "\nPrograming lanboot ROM segment.\n\n");
  std::fprintf(consoleOut, "\nPrograming can take up to 60 seconds for some ROM segments.\n");
  std::fprintf(consoleOut, "WARNING: Programming of the Q7340 ROM must not be interrupted.\n\n");
}

bool confirmProgramming(const UpdateOptions* options) {
  if (options->force)
    return options->segment == -1
               ? askQuestion(AnswerDefault::no, "Program all ROM segments now (y/n)[n]? ")
               : askQuestion(AnswerDefault::no, "Program ROM segment %d now (y/n)[n]? ",
                             options->segment);
  return options->segment == -1
             ? askQuestion(AnswerDefault::no, "Program new ROM segments now (y/n)[n]? ")
             : askQuestion(AnswerDefault::no, "Program new ROM segment %d now (y/n)[n]? ",
                           options->segment);
}

void dumpImage(const UpdateOptions* options) {
  if (options->dumpSegment < 0 || options->dumpSegment >= ROM_SEGMENT_COUNT) return;
  const PayloadRecord* image = segmentImage(options->dumpSegment);
  std::fprintf(consoleErr, "dumping file %s\n", image->name);
  std::fwrite(payloadData(image), 1, image->fileSize, consoleOut);
}

// "bootrom.hex" goes with the operating system of the older generation, and
// with every forced one.
bool lanbootGoesWithOs(const UpdateOptions* options) {
  return !isNewerGeneration(session.romSegRev[OS_SEGMENT]) || options->force;
}

// Steps 20 to 22: store every chosen image. False after a failure (reported).
bool download(UpdateOptions* options) {
  const PayloadRecord* lanbootFile = lanbootImage();
  for (int32_t i = 0; i < ROM_SEGMENT_COUNT; ++i) {
    if (!session.progSeg[i]) continue;
    say(options, "Downloading ROM segment %d \n", i);
    if (storeFile(segmentImage(i)) != 0)
      return imageFailed("Error: failed to download ROM file %s\n", segmentImage(i));
    if (i == OS_SEGMENT && lanbootGoesWithOs(options)) {
      options->lanboot = 1;
      session.lanbootLoaded = 1;
      if (storeFile(lanbootFile) != 0)
        return imageFailed("Error: failed to download ROM file %s\n", lanbootFile);
    }
  }
  if (options->lanboot && !session.lanbootLoaded) {
    session.lanbootLoaded = 1;
    say(options, "Downloading lanboot ROM segment \n");
    if (storeFile(lanbootFile) != 0)
      return imageFailed("Error: failed to download ROM file %s\n", lanbootFile);
  }
  say(options, "\n");
  return true;
}

bool programLanboot() {
  progressViewSubject("programming lanboot");
  if (execute(lanbootProgCmd) < 0)
    return imageFailed("Error: failed to program ROM file %s\n", lanbootImage());
  return true;
}

// Steps 23 to 25: program every chosen segment, lanboot right after the
// operating system. False after a failure (reported).
bool program(UpdateOptions* options) {
  for (int32_t i = 0; i < ROM_SEGMENT_COUNT; ++i) {
    if (!session.progSeg[i]) continue;
    say(options, "Programing ROM segment %d\n", i);
    progressViewSubject("programming");
    if (execute(romSegments[i].progCmd) < 0)
      return imageFailed("Error: failed to program ROM file %s\n", segmentImage(i));
    if (i == OS_SEGMENT && session.lanbootLoaded) {
      options->lanboot = 0;
      if (!programLanboot()) return false;
    }
    if (i == SELF_TEST_SEGMENT && isNewerGeneration(session.romSegRev[OS_SEGMENT])) {
      std::snprintf(session.selftestrev_str, sizeof session.selftestrev_str, "%d",
                    session.updateSegRev[SELF_TEST_SEGMENT]);
      const MsgParameter parameters[] = {{"I", session.selftestrev_str}, {nullptr, nullptr}};
      (void)execute("q7340FlashProgSelftestRev", parameters);
    }
  }
  if (options->lanboot && session.lanbootLoaded) {
    options->lanboot = 0;
    say(options, "Programing lanboot ROM segment \n");
    if (!programLanboot()) return false;
  }
  say(options, "\n");
  return true;
}

// Steps 26 and 27: remove the stored images; a failure is reported only.
void removeImages(const UpdateOptions* options) {
  for (int32_t i = 0; i < ROM_SEGMENT_COUNT; ++i) {
    if (!session.progSeg[i]) continue;
    removeFile(segmentImage(i));
    if (i == OS_SEGMENT && lanbootGoesWithOs(options)) {
      session.lanbootLoaded = 0;
      removeFile(lanbootImage());
    }
  }
  if (session.lanbootLoaded) {
    session.lanbootLoaded = 0;
    removeFile(lanbootImage());
  }
}

PassOutcome rebooted(const char* which, int32_t result) {
  reportStep("reboot", which, result);
  return {false, result};
}

// Step 28: reboot into the new operating system, then a fresh channel for the
// second pass, which programs the self test alone.
PassOutcome rebootForSelftest(UpdateOptions* options) {
  int32_t result = selftestReboot(options, session.cmdLwf);
  reportStep("reboot", "selftest", result);
  if (result != 0) return {false, result};
  for (int32_t& chosen : session.progSeg) chosen = 0;
  session.selftestState = SELFTEST_SECOND_PASS;
  options->segment = SELF_TEST_SEGMENT;
  options->force = 1;
  lwf_free(session.cmdLwf);
  session.cmdLwf = nullptr;
  if (lwf_init(session.vximem_id, options->logicalAddress, LWF_CMD, nullptr, &session.cmdLwf) != 0)
    return {false, sessionError("Error: failed to initialize host to Q7340 cmd channel LWF\n")};
  return {true, 0};
}

// Step 29: the reboot question, or the advice to reboot later.
PassOutcome finishUpdate(UpdateOptions* options) {
  say(options, "Reboot the module for the ROM changes to be effective.\n");
  if (!options->nonInteractive &&
      askQuestion(AnswerDefault::yes, "Reboot Q7340 module now (y/n)[y]? "))
    return rebooted("confirmed", confirmedReboot(options, session.cmdLwf));
  say(options, "To reboot the Q7340 module, q7340romupdate -R\n");
  return {false, unloadUpdateLibrary(false)};
}

// Steps 23 to 27 with the stop signals held: programming is not cut short,
// and a signal that came meanwhile ends the update after it, with the stored
// images removed and no reboot. False when the pass ends here; *status is then
// the session's.
bool programAndRemove(UpdateOptions* options, int32_t* status) {
  holdStopSignals();
  bool programmed = program(options);
  int32_t interruption = releaseStopSignals();
  if (!programmed) {
    *status = unloadUpdateLibrary(true);
  } else {
    removeImages(options);
    if (interruption == 0) return true;
    (void)unloadUpdateLibrary(false);
    *status = -1;
  }
  if (interruption != 0)
    std::fprintf(consoleErr, "Error: update interrupted by %s after programming\n",
                 stopSignalName(interruption));
  return false;
}

PassOutcome runPass(UpdateOptions* options) {
  if (options->reboot) return rebooted("requested", requestedReboot(options, session.cmdLwf));
  // Nothing of an earlier exchange may be taken as the answer to this pass's
  // requests, not even one of a run that was killed while the module worked.
  int32_t loaded = q7340MsgSync(session.cmdLwf);
  if (loaded == 0) loaded = q7340MsgLibLoad(session.cmdLwf);
  reportStep("load", "dldmsgLib.out", loaded);
  if (loaded != 0) return {false, sessionError("Error: failed initialize Q7340, check address\n")};
  const PayloadRecord* library = payloadFind(UPDATE_LIBRARY);
  loaded = library == nullptr ? -1
                              : q7340MsgBufDnldGo(session.cmdLwf, payloadData(library),
                                                  static_cast<int32_t>(library->fileSize),
                                                  library->name, "romupdateInit", 0, 0);
  reportStep("load", UPDATE_LIBRARY, loaded);
  if (loaded != 0)
    return {false, sessionError("Error: failed initialize Q7340 app, check address\n")};

  // Revisions that could not be read are unknown, not 0: nothing is decided
  // from them.
  int32_t query = getRomRevs(session.cmdLwf, session.romSegRev, ROM_SEGMENT_COUNT);
  reportStep("revisions", "", query);
  if (query == 0) reportRevisions(session.romSegRev);
  if (query != 0) {
    std::fprintf(consoleErr, "Error: failed to read the ROM segment revisions of the Q7340 module\n");
    return {false, unloadUpdateLibrary(true)};
  }
  if (!options->quiet) {
    std::fprintf(consoleOut, "ROM segment revisions in Q7340 module ");
    std::fprintf(consoleOut, "%s::%d\n", options->vxiInterface, options->logicalAddress);
    printRevisionTable(consoleOut, session.romSegRev);
    std::fprintf(consoleOut, "\n");
  }
  if (options->revisionOnly) return {false, 0};

  selectSegments(options);
  if (!anyChosen() && !options->lanboot) {
    if (!options->quiet) {
      if (options->segment == -1)
        std::fprintf(consoleOut, "All ROM segments are up to date\n");
      else
        std::fprintf(consoleOut, "Specified ROM segment %d is up to date\n", options->segment);
    }
    return {false, unloadUpdateLibrary(false)};
  }
  applySelftestRule(options);
  if (!anyChosen() && !options->lanboot) return {false, unloadUpdateLibrary(false)};

  reportChosen(session.progSeg, options->lanboot);
  printSummary(options);
  if (!options->nonInteractive && session.selftestState != SELFTEST_SECOND_PASS) {
    if (!confirmProgramming(options)) {
      std::fprintf(consoleOut, "Q7340 update canceled.\n");
      return {false, unloadUpdateLibrary(false)};
    }
    std::fprintf(consoleOut, "\n");
  }
  if (session.selftestState == SELFTEST_SECOND_PASS) session.selftestState = SELFTEST_NORMAL;
  dumpImage(options);

  if (!download(options)) return {false, unloadUpdateLibrary(true)};
  int32_t status = 0;
  if (!programAndRemove(options, &status)) return {false, status};
  if (session.selftestState == SELFTEST_AFTER_REBOOT) return rebootForSelftest(options);
  return finishUpdate(options);
}

// Every report of the layers below comes here while the session runs.
void observeProgress(const ProgressReport* report) {
  noteStopSignals();
  progressViewShow(report);
}

}  // namespace

int32_t runUpdateSession(UpdateOptions* options) {
  session = SessionState{};
  progressObserve(observeProgress);
  progressViewStart(options->quiet);
  progressViewSubject("waiting for the module");
  for (int32_t i = 0; i < ROM_SEGMENT_COUNT; ++i)
    session.updateSegRev[i] = romSegments[i].efile->revision;
  reportSession(options, session.updateSegRev, lanbootImage()->revision);

  if (std::strncmp(options->vxiInterface, "IP", 2) == 0)
    return sessionError("Error: update over lan not supported\n");
  int32_t status = vxiOpen(options->vxiInterface, -1, &session.vximem_id);
  if (status != 0) return sessionError("Error: Unable to open A16.'\n'%s'\n", vxiStatusText(status));
  if (vxiMap(session.vximem_id, VI_A16_SPACE, 0, A16_WINDOW_SIZE, &session.a16) != 0)
    return sessionError("Error: Unable to map A16\n");
  if (lwf_init(session.vximem_id, options->logicalAddress, LWF_CMD, nullptr, &session.cmdLwf) != 0)
    return sessionError("Error: failed to initialize host to Q7340 cmd channel LWF\n");

  int32_t resetDone = 0;
  if (startupReset(options, session.vximem_id, &session.vxistatus, &resetDone) != 0) return -1;
  if (resetDone) options->reboot = 0;  // a -R request counts as done

  for (;;) {
    PassOutcome outcome = runPass(options);
    if (!outcome.secondPass) return outcome.status;
  }
}
