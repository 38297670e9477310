// The module's flash kept in a small text file between runs of the
// shared-library form, so that a second run finds the module as the first
// left it. One "key value" line each: segment0 .. segment4, lanboot,
// selftestRecorded; lines that begin with '#' are comments.
//
// The file is never lost or half written:
// - a run holds an advisory lock (flock on "PATH.lock" beside the file, which
//   is never renamed) from open to close, so that a second run on the same
//   file waits a little and then gives up instead of undoing the first run's
//   changes;
// - a save writes a temporary file "PATH.tmp-XXXXXX" in the same directory,
//   flushes it to the disk and renames it over the old file: a run killed at
//   any moment leaves the old content or the new one, never an empty file;
// - only a regular file of at most MAX_STATE_FILE_BYTES is read, so a device
//   or a FIFO given as the state file is refused at once.
#pragma once

#include <memory>
#include <string>

#include "sim/module/module_config.h"

namespace sim::module {

constexpr size_t MAX_STATE_FILE_BYTES = 64 * 1024;

class FlashStateFile {
 public:
  // Takes the lock, waiting up to lockWaitSeconds of the shared clock for
  // another run to let go of it; removes the temporary files of a run that
  // was killed while saving; reads the file into *flash when it exists. A
  // missing file leaves *flash as it is (it is written at the first change).
  // Null when any of this fails, with "state file PATH: reason" in *error.
  static std::unique_ptr<FlashStateFile> open(const std::string& path, double lockWaitSeconds,
                                              FlashRevisions* flash, std::string* error);
  ~FlashStateFile();  // lets go of the lock
  FlashStateFile(const FlashStateFile&) = delete;
  FlashStateFile& operator=(const FlashStateFile&) = delete;

  // Replaces the file's content with the flash in one step. False, with
  // "state file PATH: reason" in *error, when it could not; the old content
  // then stays.
  bool save(const FlashRevisions& flash, std::string* error) const;
  const std::string& path() const { return path_; }

 private:
  FlashStateFile(std::string path, int lockFd) : path_(std::move(path)), lockFd_(lockFd) {}
  std::string path_;
  int lockFd_;
};

// The same atomic write and bounded read without the lock, for tests. A
// missing file is a failure of loadFlash; *flash changes only on success.
bool saveFlash(const std::string& path, const FlashRevisions& flash, std::string* error = nullptr);
bool loadFlash(const std::string& path, FlashRevisions* flash, std::string* error = nullptr);

// Called, when set, between the flush of the temporary file and its rename:
// tests kill the process there.
extern void (*stateFileBeforeRename)();

}  // namespace sim::module
