// Reading an exchange record and answering requests from it. The record is
// JSON lines of one flat object each, written by tools/trace_exchanges.py;
// this reader takes exactly the fields that tool writes.
#include "sim/module/replay.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "sim/module/body_reader.h"
#include "sim/module/sha256.h"

namespace sim::module {
namespace {

constexpr int32_t TAG_REBOOT_REQUEST = 0x7D;
constexpr int32_t TAG_COMMAND_REQUEST = 0x77;
constexpr uint16_t STATUS_RESET_REQUEST_BIT = 0x0002;
constexpr int FORMAT = 1;
constexpr size_t SHORT_DIGEST = 12;  // digest characters in the stop line

// The text after "name": in a flat JSON object: a string's characters without
// its quotes, or a number's text. Nothing when the field is absent.
std::optional<std::string> field(const std::string& line, const std::string& name) {
  std::string key = "\"" + name + "\":";
  size_t at = line.find(key);
  if (at == std::string::npos) return std::nullopt;
  at += key.size();
  if (at < line.size() && line[at] == '"') {
    size_t end = line.find('"', at + 1);
    if (end == std::string::npos) return std::nullopt;
    return line.substr(at + 1, end - at - 1);
  }
  size_t end = line.find_first_of(",}", at);
  if (end == std::string::npos) return std::nullopt;
  return line.substr(at, end - at);
}

bool wholeNumber(const std::string& text, int base, long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoll(text.c_str(), &end, base);
  return *end == '\0';
}

// "0x7b" and the like.
bool hexTag(const std::string& text, int32_t* tag) {
  long long value = 0;
  if (text.rfind("0x", 0) != 0 || !wholeNumber(text.substr(2), 16, &value) || value < 0 ||
      value > 0xFFFFFFFFLL)
    return false;
  *tag = static_cast<int32_t>(static_cast<uint32_t>(value));
  return true;
}

// Hexadecimal text of whole 32-bit words, appended to `words`.
bool hexWords(const std::string& text, std::vector<uint32_t>* words) {
  if (text.size() % 8 != 0) return false;
  for (size_t at = 0; at < text.size(); at += 8) {
    long long value = 0;
    if (!wholeNumber(text.substr(at, 8), 16, &value)) return false;
    words->push_back(static_cast<uint32_t>(value));
  }
  return true;
}

std::string describe(const ModuleReplay::Request& request) {
  char text[96];
  std::snprintf(text, sizeof text, "tag 0x%x, %u bytes, sha256 %s", static_cast<unsigned>(request.tag),
                request.length, request.sha256.substr(0, SHORT_DIGEST).c_str());
  return text;
}

// True for the requests after which the module reboots and sends nothing.
bool rebootsTheModule(const Frame& frame, const std::vector<uint8_t>& body) {
  if (frame.tag == TAG_REBOOT_REQUEST) return true;
  static const std::string reboot("reboot");
  return frame.tag == TAG_COMMAND_REQUEST && body.size() > reboot.size() &&
         std::equal(reboot.begin(), reboot.end(), body.begin()) && body[reboot.size()] == 0;
}

}  // namespace

std::shared_ptr<ModuleReplay> ModuleReplay::load(const std::string& path, std::string* error) {
  std::ifstream file(path);
  if (!file) {
    *error = "replay file " + path + ": cannot be read";
    return nullptr;
  }
  auto replay = std::make_shared<ModuleReplay>();
  replay->path_ = path;
  std::string line;
  size_t number = 0;
  bool header = false;
  bool sawStatus = false;  // the first Status value read tells the power-up state
  auto fail = [&](const std::string& why) {
    *error = "replay file " + path + ": line " + std::to_string(number) + ": " + why;
    return nullptr;
  };
  while (std::getline(file, line)) {
    ++number;
    if (line.empty()) continue;
    long long value = 0;
    if (!header) {
      if (field(line, "exchanges") != "q7340 module side") return fail("not an exchange record");
      if (!wholeNumber(field(line, "format").value_or(""), 10, &value) || value != FORMAT)
        return fail("not of format 1");
      if (wholeNumber(field(line, "la").value_or(""), 10, &value) && value >= 0 && value <= 255)
        replay->logicalAddress_ = static_cast<int>(value);
      header = true;
    } else if (auto tag = field(line, "request")) {
      Exchange exchange;
      if (!hexTag(*tag, &exchange.request.tag)) return fail("request tag is not hexadecimal");
      if (!wholeNumber(field(line, "length").value_or(""), 10, &value) || value < 0 ||
          value > 0xFFFFFFFFLL)
        return fail("request without a length");
      exchange.request.length = static_cast<uint32_t>(value);
      exchange.request.sha256 = field(line, "sha256").value_or("");
      if (exchange.request.sha256.size() != 64) return fail("request without a sha256");
      replay->exchanges_.push_back(std::move(exchange));
    } else {
      std::vector<uint32_t> words;
      if (auto replyTag = field(line, "reply")) {
        int32_t tag = 0;
        if (!hexTag(*replyTag, &tag)) return fail("reply tag is not hexadecimal");
        long long markers = 0;
        if (auto count = field(line, "markers"); count && !wholeNumber(*count, 10, &markers))
          return fail("markers is not a number");
        words.assign(static_cast<size_t>(markers > 0 ? markers : 0), 1);
        std::vector<uint32_t> payload;
        if (!hexWords(field(line, "words").value_or(""), &payload))
          return fail("reply words are not whole hexadecimal words");
        words.push_back(static_cast<uint32_t>(payload.size() * 4));
        words.push_back(static_cast<uint32_t>(tag));
        words.insert(words.end(), payload.begin(), payload.end());
      } else if (auto raw = field(line, "raw")) {
        // A stray tail of half a word cannot be sent through a 32-bit queue.
        std::string whole = raw->substr(0, raw->size() / 8 * 8);
        if (!hexWords(whole, &words)) return fail("raw words are not hexadecimal");
      } else if (auto status = field(line, "status")) {
        long long bits = 0;
        if (!sawStatus && replay->exchanges_.empty() && status->rfind("0x", 0) == 0 &&
            wholeNumber(status->substr(2), 16, &bits))
          replay->resetRequest_ = (bits & STATUS_RESET_REQUEST_BIT) != 0;
        sawStatus = true;
        continue;
      } else {
        return fail("neither request, reply, raw nor status");
      }
      std::vector<uint32_t>& into =
          replay->exchanges_.empty() ? replay->powerUpWords_ : replay->exchanges_.back().output;
      into.insert(into.end(), words.begin(), words.end());
    }
  }
  if (!header) {
    ++number;
    return fail("no header line");
  }
  return replay;
}

ModuleReplay::Answer ModuleReplay::answer(const Frame& frame) {
  const std::vector<uint8_t> body = bodyBytes(frame.payload);
  Request actual{frame.tag, static_cast<uint32_t>(body.size()), sha256Hex(body)};
  Answer answer;
  if (!stopped_) {
    const size_t number = next_ + 1;
    if (next_ < exchanges_.size()) {
      const Request& expected = exchanges_[next_].request;
      if (expected.tag == actual.tag && expected.length == actual.length &&
          expected.sha256 == actual.sha256) {
        answer.words = exchanges_[next_++].output;
        answer.reboot = rebootsTheModule(frame, body);
        return answer;
      }
      std::fprintf(stderr,
                   "q7340 simulator: replay of %s stopped at exchange %zu: expected %s; got %s\n",
                   path_.c_str(), number, describe(expected).c_str(), describe(actual).c_str());
    } else {
      std::fprintf(stderr,
                   "q7340 simulator: replay of %s stopped at exchange %zu: expected no request "
                   "(the record ends after %zu); got %s\n",
                   path_.c_str(), number, exchanges_.size(), describe(actual).c_str());
    }
    stopped_ = true;
  }
  answer.reboot = rebootsTheModule(frame, body);
  answer.stayDown = answer.reboot;
  if (!answer.reboot) answer.words = {4, static_cast<uint32_t>(frame.tag), 0xFFFFFFFFu};
  return answer;
}

}  // namespace sim::module
