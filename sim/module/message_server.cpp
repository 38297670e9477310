// Dispatch of request frames by tag, and the faults that lose or delay answers.
#include "sim/module/message_server.h"

#include "sim/module/body_reader.h"
#include "sim/module/commands.h"
#include "sim/module/downloads.h"
#include "sim/module/module_codes.h"
#include "sim/module/ram_files.h"
#include "sim/module/replay.h"

namespace sim::module {

namespace {

std::vector<uint32_t> oneWord(int32_t value) { return {static_cast<uint32_t>(value)}; }

// Status, then the revisions of segments 0 to 4; faults change the status or
// the number of words.
std::vector<uint32_t> romRevisions(const ModuleState& state, const ModuleFaults& faults) {
  std::vector<uint32_t> reply = {static_cast<uint32_t>(faults.revisionReplyStatus)};
  for (int32_t revision : state.flash.segment) reply.push_back(static_cast<uint32_t>(revision));
  if (faults.revisionReplyExtraWords > 0) {
    reply.insert(reply.end(), static_cast<size_t>(faults.revisionReplyExtraWords), 0);
  } else if (faults.revisionReplyExtraWords < 0) {
    size_t drop = static_cast<size_t>(-int64_t{faults.revisionReplyExtraWords});
    reply.resize(drop < reply.size() ? reply.size() - drop : 0);
  }
  return reply;
}

// A replayed module answers from its record, whatever is loaded.
ServerAnswer replayed(ModuleReplay& replay, const Frame& frame) {
  ModuleReplay::Answer recorded = replay.answer(frame);
  ServerAnswer answer;
  answer.raw = true;
  answer.reply = !recorded.words.empty();
  answer.payload = std::move(recorded.words);
  answer.reboot = recorded.reboot;
  answer.stayDown = recorded.stayDown;
  return answer;
}

}  // namespace

bool tagIsServed(const ModuleState& state, int32_t tag) {
  switch (tag) {
    case TAG_DOWNLOAD:
    case TAG_REBOOT:
    case TAG_EMPTY:
    case TAG_SELF_TEST: return true;
    default:
      for (const LoadedModule& module : state.loaded)
        if (module.tags.count(tag) != 0) return true;
      return false;
  }
}

ServerAnswer serveRequest(ModuleState& state, const ModuleConfig& config, const Frame& frame) {
  if (config.replay != nullptr) return replayed(*config.replay, frame);
  ServerAnswer answer;
  if (!tagIsServed(state, frame.tag)) {
    ++state.counters.unservedFrames;
    answer.reply = false;
    return answer;
  }
  const std::vector<uint8_t> body = bodyBytes(frame.payload);
  const ModuleFaults& faults = config.faults;
  switch (frame.tag) {
    case TAG_DOWNLOAD: answer.payload = oneWord(downloadAndStart(state, body)); break;
    case TAG_REBOOT:
      answer.reply = false;
      answer.reboot = true;
      break;
    case TAG_EMPTY: answer.payload = oneWord(RESULT_OK); break;
    case TAG_SELF_TEST:
      // The built-in test passes; its parameter is one word.
      answer.payload = oneWord(body.size() >= 4 ? RESULT_OK : RESULT_MALFORMED_BODY);
      break;
    case TAG_COMMAND: {
      CommandOutcome outcome = executeCommand(state, config, body);
      answer.payload = oneWord(outcome.result);
      answer.busySeconds = outcome.busySeconds;
      answer.reboot = outcome.reboot;
      answer.reply = !outcome.reboot && faults.silentCommands.count(outcome.name) == 0;
      auto late = faults.lateCommands.find(outcome.name);
      if (late != faults.lateCommands.end()) answer.delaySeconds += late->second;
      break;
    }
    case TAG_FILE_SIZE: answer.payload = oneWord(fileSize(state, body)); break;
    case TAG_FILE_REMOVE: answer.payload = oneWord(fileRemove(state, body)); break;
    case TAG_FILE_READ: answer.payload = fileRead(state, body); break;
    case TAG_FILE_WRITE: answer.payload = oneWord(fileWrite(state, body)); break;
    case TAG_ROM_REVISIONS: answer.payload = romRevisions(state, faults); break;
    default: break;  // served tags all have a case above
  }
  if (faults.silentTags.count(frame.tag) != 0) answer.reply = false;
  auto late = faults.lateTags.find(frame.tag);
  if (late != faults.lateTags.end()) answer.delaySeconds += late->second;
  return answer;
}

}  // namespace sim::module
