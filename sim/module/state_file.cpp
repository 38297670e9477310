// Reading, writing and locking the flash state file.
#include "sim/module/state_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "common/clock.h"

namespace sim::module {

void (*stateFileBeforeRename)() = nullptr;

namespace {

constexpr const char* TEMP_INFIX = ".tmp-";
constexpr const char* TEMP_UNIQUE = "XXXXXX";
constexpr int LOCK_POLL_MS = 50;

bool fail(std::string* error, const std::string& path, const std::string& reason) {
  if (error != nullptr) *error = "state file " + path + ": " + reason;
  return false;
}

// "what: the system's reason", from errno.
std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::map<std::string, int32_t*> keys(FlashRevisions* flash) {
  std::map<std::string, int32_t*> map;
  for (int i = 0; i < SEGMENT_COUNT; ++i) map["segment" + std::to_string(i)] = &flash->segment[i];
  map["lanboot"] = &flash->lanboot;
  map["selftestRecorded"] = &flash->selftestRecorded;
  return map;
}

std::string render(const FlashRevisions& flash) {
  std::ostringstream out;
  out << "# simulated Q7340 module: flash revisions\n";
  for (int i = 0; i < SEGMENT_COUNT; ++i) out << "segment" << i << ' ' << flash.segment[i] << '\n';
  out << "lanboot " << flash.lanboot << '\n';
  out << "selftestRecorded " << flash.selftestRecorded << '\n';
  return out.str();
}

// The flash the text describes; every key exactly once.
bool parse(const std::string& text, FlashRevisions* flash, std::string* reason) {
  FlashRevisions read;
  std::map<std::string, int32_t*> wanted = keys(&read);
  std::set<std::string> found;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    const std::string where = "line " + std::to_string(number) + ": ";
    std::istringstream fields(line);
    std::string key, rest;
    long long value = 0;
    if (!(fields >> key >> value) || (fields >> rest)) {
      *reason = where + "not a key and a whole number";
      return false;
    }
    auto slot = wanted.find(key);
    if (slot == wanted.end()) {
      *reason = where + "unknown key " + key;
      return false;
    }
    if (!found.insert(key).second) {
      *reason = where + key + " given twice";
      return false;
    }
    if (value < INT32_MIN || value > INT32_MAX) {
      *reason = where + key + " beyond 32 bits";
      return false;
    }
    *slot->second = static_cast<int32_t>(value);
  }
  for (const auto& [key, slot] : wanted) {
    if (found.count(key) == 0) {
      *reason = "no " + key + " line";
      return false;
    }
  }
  *flash = read;
  return true;
}

// True when the path names a regular file, or nothing (*missing).
bool regularOrMissing(const std::string& path, bool* missing, std::string* reason) {
  struct stat status {};
  *missing = false;
  if (stat(path.c_str(), &status) != 0) {
    *missing = errno == ENOENT;
    *reason = systemError("cannot read");
    return *missing;
  }
  if (!S_ISREG(status.st_mode)) {
    *reason = "not a regular file";
    return false;
  }
  return true;
}

// The whole content of a regular file of bounded size. Opened without
// blocking, so that a FIFO put there in the meantime is refused, not waited on.
bool readBounded(const std::string& path, std::string* text, bool* missing, std::string* reason) {
  *missing = false;
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    *missing = errno == ENOENT;
    *reason = systemError("cannot read");
    return false;
  }
  struct stat status {};
  bool sound = true;
  if (fstat(fd, &status) != 0) {
    *reason = systemError("cannot read");
    sound = false;
  } else if (!S_ISREG(status.st_mode)) {
    *reason = "not a regular file";
    sound = false;
  }
  const std::string tooLarge = "larger than " + std::to_string(MAX_STATE_FILE_BYTES) + " bytes";
  text->clear();
  char buffer[4096];
  while (sound) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *reason = systemError("cannot read");
      sound = false;
    } else if (got == 0) {
      break;
    } else if (text->size() + static_cast<size_t>(got) > MAX_STATE_FILE_BYTES) {
      *reason = tooLarge;
      sound = false;
    } else {
      text->append(buffer, static_cast<size_t>(got));
    }
  }
  close(fd);
  return sound;
}

bool readFlash(const std::string& path, FlashRevisions* flash, bool* missing,
               std::string* reason) {
  std::string text;
  if (!regularOrMissing(path, missing, reason) || *missing) return false;
  return readBounded(path, &text, missing, reason) && parse(text, flash, reason);
}

bool writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

// The permissions of the file being replaced, or the usual ones of a new file.
mode_t modeFor(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) == 0) return status.st_mode & 0777;
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// A temporary file beside the target, flushed to the disk, then renamed over
// it: readers see the old content or the new one, whatever happens between.
bool writeAtomically(const std::string& path, const std::string& text, std::string* reason) {
  std::string temp = path + TEMP_INFIX + TEMP_UNIQUE;
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    *reason = systemError("cannot create a temporary file beside it");
    return false;
  }
  bool written = fchmod(fd, modeFor(path)) == 0 && writeAll(fd, text) && fsync(fd) == 0;
  int cause = errno;
  if (close(fd) != 0 && written) {
    written = false;
    cause = errno;
  }
  if (written && stateFileBeforeRename != nullptr) stateFileBeforeRename();
  if (written && rename(temp.c_str(), path.c_str()) != 0) {
    written = false;
    cause = errno;
  }
  if (!written) {
    unlink(temp.c_str());
    errno = cause;
    *reason = systemError("cannot write");
    return false;
  }
  // The rename reaches the disk with its directory.
  int directory = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    (void)fsync(directory);
    close(directory);
  }
  return true;
}

// The lock file's descriptor, locked; -1 when it cannot be made or another
// run keeps it locked for the whole wait.
int takeLock(const std::string& path, double waitSeconds, std::string* reason) {
  const std::string lockPath = path + ".lock";
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    *reason = systemError("cannot open its lock file " + lockPath);
    return -1;
  }
  const double start = elapsedSeconds();
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      *reason = systemError("cannot lock " + lockPath);
    } else if (elapsedSeconds() - start > waitSeconds) {
      char waited[32];
      std::snprintf(waited, sizeof waited, "%g", waitSeconds);
      *reason = "in use by another run (" + lockPath + " stayed locked for " + waited + " s)";
    } else {
      sleepMilliseconds(LOCK_POLL_MS);
      continue;
    }
    close(fd);
    return -1;
  }
  return fd;
}

// What a run killed between writing and renaming left behind. Only the
// holder of the lock may remove them: nobody else is saving.
void removeStaleTemporaries(const std::string& path) {
  const std::string prefix = baseNameOf(path) + TEMP_INFIX;
  const size_t length = prefix.size() + std::strlen(TEMP_UNIQUE);
  DIR* directory = opendir(directoryOf(path).c_str());
  if (directory == nullptr) return;
  while (const dirent* entry = readdir(directory)) {
    std::string name = entry->d_name;
    if (name.size() == length && name.compare(0, prefix.size(), prefix) == 0)
      (void)unlinkat(dirfd(directory), name.c_str(), 0);
  }
  closedir(directory);
}

}  // namespace

std::unique_ptr<FlashStateFile> FlashStateFile::open(const std::string& path,
                                                     double lockWaitSeconds,
                                                     FlashRevisions* flash, std::string* error) {
  // Through a symbolic link the saves replace the file it names, not the link.
  std::string target = path;
  if (char* resolved = realpath(path.c_str(), nullptr)) {
    target = resolved;
    std::free(resolved);
  }
  std::string reason;
  bool missing = false;
  if (!regularOrMissing(target, &missing, &reason)) {
    fail(error, path, reason);
    return nullptr;
  }
  int lockFd = takeLock(target, lockWaitSeconds, &reason);
  if (lockFd < 0) {
    fail(error, path, reason);
    return nullptr;
  }
  std::unique_ptr<FlashStateFile> file(new FlashStateFile(target, lockFd));
  removeStaleTemporaries(target);
  FlashRevisions loaded = *flash;
  if (readFlash(target, &loaded, &missing, &reason)) {
    *flash = loaded;
  } else if (!missing) {
    fail(error, path, reason);
    return nullptr;
  }
  return file;
}

FlashStateFile::~FlashStateFile() { close(lockFd_); }

bool FlashStateFile::save(const FlashRevisions& flash, std::string* error) const {
  return saveFlash(path_, flash, error);
}

bool saveFlash(const std::string& path, const FlashRevisions& flash, std::string* error) {
  std::string reason;
  return writeAtomically(path, render(flash), &reason) || fail(error, path, reason);
}

bool loadFlash(const std::string& path, FlashRevisions* flash, std::string* error) {
  std::string reason;
  bool missing = false;
  if (readFlash(path, flash, &missing, &reason)) return true;
  if (missing) reason = "no such file";
  return fail(error, path, reason);
}

}  // namespace sim::module
