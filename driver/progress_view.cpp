#include "driver/progress_view.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/clock.h"
#include "common/console.h"
#include "driver/console_tap.h"

namespace {

constexpr double REDRAW_SECONDS = 0.1;
constexpr int64_t SMALLEST_SHOWN_FRAME = 64 * 1024;  // a request sent in an instant shows nothing

bool active = false;
bool drawn = false;        // a progress line stands on the terminal
FILE* terminal = nullptr;  // standard error, behind the console tap
double lastDraw = -1.0;
const char* subject = "";
double frameStart = 0.0;   // when the frame being sent began
int64_t lastDone = 0;      // bytes of that frame reported so far

void erase() {
  if (!drawn) return;
  drawn = false;
  std::fputs("\r\033[K", terminal);
  std::fflush(terminal);
}

void eraseBeforeText(bool, const char*, size_t) { erase(); }

void draw(const char* text) {
  std::fprintf(terminal, "\r\033[K%s", text);
  std::fflush(terminal);
  drawn = true;
}

}  // namespace

void progressViewStart(int quiet) {
  if (active || quiet || !isatty(fileno(consoleErr))) return;
  terminal = consoleErr;
  consoleTapListen(eraseBeforeText);
  active = true;
}

void progressViewStop() {
  erase();
  active = false;
}

void progressViewSubject(const char* newSubject) { subject = newSubject != nullptr ? newSubject : ""; }

void progressViewShow(const ProgressReport* report) {
  if (!active) return;
  double now = elapsedSeconds();
  if (report->kind == PROGRESS_FRAME_SENT) {
    if (lastDone == 0 || report->done <= lastDone) frameStart = now;  // a new frame
    lastDone = report->done == report->total ? 0 : report->done;
  }
  bool last = report->kind == PROGRESS_FRAME_SENT && report->done == report->total;
  if (!last && lastDraw >= 0 && now - lastDraw < REDRAW_SECONDS) return;
  char text[160];
  switch (report->kind) {
    case PROGRESS_FRAME_SENT: {
      if (report->total < SMALLEST_SHOWN_FRAME) return;
      if (report->done == report->total) {  // the frame is out: nothing more to show
        erase();
        return;
      }
      double seconds = now - frameStart;
      double rate = seconds > 0 ? static_cast<double>(report->done) / seconds / 1e6 : 0.0;
      std::snprintf(text, sizeof text, "  %s: %lld of %lld bytes, %.2f MB/s", subject,
                    static_cast<long long>(report->done), static_cast<long long>(report->total),
                    rate);
      break;
    }
    case PROGRESS_REPLY_WAIT:
      if (report->seconds < 1.0) return;
      std::snprintf(text, sizeof text, "  %s: %.0f s", subject, report->seconds);
      break;
    case PROGRESS_READY_WAIT:
      std::snprintf(text, sizeof text, "  waiting for the module: %.0f of %.0f s", report->seconds,
                    report->limit);
      break;
    default: return;
  }
  lastDraw = now;
  draw(text);
}
