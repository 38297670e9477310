// What the layers below the driver report while they work: bytes of a frame
// sent, a reply still awaited, the module's ready bit still awaited. Nothing
// is printed here; the driver installs the one observer and decides what to
// show. Without an observer a report costs one test of a pointer.
#pragma once

#include <cstdint>

enum ProgressKind : int32_t {
  PROGRESS_FRAME_SENT = 1,  // `done` of `total` bytes of a frame are in the module's FIFO
  PROGRESS_REPLY_WAIT = 2,  // the reply to the request `tag` has been awaited `seconds` of `limit`
  PROGRESS_READY_WAIT = 3,  // the ready bit has been awaited `seconds` of `limit`
};

struct ProgressReport {
  int32_t kind;    // a ProgressKind
  int32_t tag;     // the frame's or the request's tag (0 for the ready wait)
  int64_t done;    // bytes sent so far (frames)
  int64_t total;   // bytes of the whole frame, header included (frames)
  double seconds;  // waited so far (waits)
  double limit;    // the longest the wait may take (waits)
};

typedef void (*ProgressObserver)(const ProgressReport* report);

// Installs the observer of every later report; null removes it.
void progressObserve(ProgressObserver observer);

// Hands a report to the observer, if there is one. Called from polling loops,
// so the observer must be quick and must not call back into the channel.
void progressReport(const ProgressReport& report);
