#include "common/progress.h"

namespace {
ProgressObserver observer = nullptr;
}

void progressObserve(ProgressObserver newObserver) { observer = newObserver; }

void progressReport(const ProgressReport& report) {
  if (observer != nullptr) observer(&report);
}
