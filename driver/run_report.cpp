#include "driver/run_report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/console.h"
#include "driver/console_tap.h"
#include "driver/driver.h"

namespace {

struct Report {
  const char* path = nullptr;
  bool session = false;
  std::string connection;   // "interface", "logicalAddress" and "carried" members
  std::string before = "null", after = "null";
  int32_t revisionReads = 0;
  bool chosen[5] = {};
  bool lanboot = false;
  std::string steps;        // the step objects, comma-separated
  std::string errors;       // the error lines as JSON strings, comma-separated
  std::string partialLine;  // console text since the last line end
};
Report report;

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string numbers(const int32_t values[5]) {
  std::string out = "[";
  for (int i = 0; i < 5; ++i) out += (i > 0 ? "," : "") + std::to_string(values[i]);
  return out + "]";
}

// Keeps every console line that begins "Error: ", on either stream.
void keepErrorLines(bool, const char* text, size_t size) {
  report.partialLine.append(text, size);
  size_t end;
  while ((end = report.partialLine.find('\n')) != std::string::npos) {
    std::string line = report.partialLine.substr(0, end);
    report.partialLine.erase(0, end + 1);
    size_t at = line.find("Error: ");
    if (at == std::string::npos) continue;
    if (!report.errors.empty()) report.errors += ",";
    report.errors += quoted(line.substr(at));
  }
}

std::string document(int32_t status) {
  std::string chosen = "[";
  for (int i = 0; i < 5; ++i)
    if (report.chosen[i]) chosen += (chosen.size() > 1 ? "," : "") + std::to_string(i);
  chosen += "]";
  return "{\"program\":\"q7340romupdate\",\"version\":\"" + std::string(PROGRAM_VERSION) + "\"," +
         report.connection + ",\"moduleBefore\":" + report.before +
         ",\"moduleAfter\":" + report.after + ",\"chosen\":" + chosen +
         ",\"lanboot\":" + (report.lanboot ? "true" : "false") + ",\"steps\":[" + report.steps +
         "],\"status\":" + std::to_string(status) + ",\"errors\":[" + report.errors + "]}\n";
}

// Into a temporary file beside the report, flushed to disk, then renamed over
// it: a reader sees the old report or the whole new one, never a part.
bool writeAtomically(const char* path, const std::string& text) {
  std::string temporary = std::string(path) + ".tmp." + std::to_string(getpid());
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                 fsync(fd) == 0;
  written = close(fd) == 0 && written;
  if (written && rename(temporary.c_str(), path) == 0) return true;
  int saved = errno;
  unlink(temporary.c_str());
  errno = saved;
  return false;
}

}  // namespace

void reportStart(const char* path) {
  report = Report{};
  report.path = path;
  consoleTapListen(keepErrorLines);
}

bool reportWanted() { return report.path != nullptr; }

void reportSession(const UpdateOptions* options, const int32_t carried[5], int32_t carriedLanboot) {
  if (!reportWanted()) return;
  report.session = true;
  report.connection = "\"interface\":" + quoted(options->vxiInterface) +
                      ",\"logicalAddress\":" + std::to_string(options->logicalAddress) +
                      ",\"carried\":" + numbers(carried) +
                      ",\"carriedLanboot\":" + std::to_string(carriedLanboot);
}

void reportRevisions(const int32_t revisions[5]) {
  if (!reportWanted()) return;
  (report.revisionReads++ == 0 ? report.before : report.after) = numbers(revisions);
}

void reportChosen(const int32_t chosen[5], int32_t lanboot) {
  for (int i = 0; i < 5; ++i) report.chosen[i] = report.chosen[i] || chosen[i] != 0;
  report.lanboot = report.lanboot || lanboot != 0;
}

void reportStep(const char* step, const char* subject, int32_t result) {
  if (!reportWanted()) return;
  if (!report.steps.empty()) report.steps += ",";
  report.steps += "{\"step\":" + quoted(step) + ",\"subject\":" + quoted(subject) +
                  ",\"result\":" + std::to_string(result) + "}";
}

int32_t reportFinish(int32_t status) {
  if (!reportWanted() || !report.session) return 0;
  if (!report.partialLine.empty()) keepErrorLines(true, "\n", 1);
  if (writeAtomically(report.path, document(status))) return 0;
  std::fprintf(consoleErr, "Error: cannot write the report %s: %s\n", report.path,
               std::strerror(errno));
  return -1;
}
