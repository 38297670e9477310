// The module's state file: read at open, saved at every change of the flash,
// never half written, locked against a second run, and refused with its
// reason when it cannot be used.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "common/clock.h"
#include "payload/payload.h"
#include "sim/module/q7340_module.h"
#include "sim/module/state_file.h"
#include "tests/module/module_driver.h"

using module_test::ModuleDriver;
using namespace sim::module;
namespace fs = std::filesystem;

namespace {

bool sameFlash(const FlashRevisions& a, const FlashRevisions& b) {
  for (int i = 0; i < SEGMENT_COUNT; ++i)
    if (a.segment[i] != b.segment[i]) return false;
  return a.lanboot == b.lanboot && a.selftestRecorded == b.selftestRecorded;
}

std::string contentOf(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

class StateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clockUseVirtual();
    std::string pattern = (fs::temp_directory_path() / "q7340-state-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory = pattern;
    path = (directory / "module-state").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(directory, fs::perms::owner_all, ignored);
    fs::remove_all(directory, ignored);
  }

  std::unique_ptr<FlashStateFile> open(FlashRevisions* flash, std::string* error = nullptr) {
    std::string ignored;
    return FlashStateFile::open(path, 3.0, flash, error != nullptr ? error : &ignored);
  }

  // The names in the directory other than the state file and its lock.
  std::vector<std::string> leftovers() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
      std::string name = entry.path().filename().string();
      if (name != "module-state" && name != "module-state.lock") names.push_back(name);
    }
    return names;
  }

  fs::path directory;
  std::string path;
};

TEST_F(StateFileTest, TheFileWinsOverThePresetAndKeepsEveryChangeOfTheFlash) {
  FlashRevisions flash = olderModuleFlash();
  std::unique_ptr<FlashStateFile> file = open(&flash);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(sameFlash(flash, olderModuleFlash()));  // no file yet: the preset stays
  EXPECT_FALSE(fs::exists(path));

  const PayloadRecord* image = payloadFind("vxiga.hex");
  {
    ModuleConfig config;
    config.flash = flash;
    config.stateFile = std::move(file);
    Q7340Module module(config);
    ModuleDriver driver(module);
    driver.loadLibraries();
    ASSERT_EQ(driver.putCarried("vxiga.hex"), 0);
    ASSERT_EQ(driver.command("q7340FlashProgVxiga"), 0);
    FlashRevisions saved;
    ASSERT_TRUE(loadFlash(path, &saved));
    EXPECT_EQ(saved.segment[1], image->revision);
  }

  FlashRevisions next = upToDateFlash();
  next.segment[1] = 0;
  ASSERT_NE(open(&next), nullptr);
  FlashRevisions expected = olderModuleFlash();
  expected.segment[1] = image->revision;
  EXPECT_TRUE(sameFlash(next, expected));
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(StateFileTest, AFileThatCannotBeUsedIsRefusedWithItsReason) {
  const std::string sound =
      "segment0 100000\nsegment1 1\nsegment2 2\nsegment3 3\nsegment4 4\nlanboot 5\n"
      "selftestRecorded 6\n";
  auto write = [&](const std::string& text) { return [&, text] { std::ofstream(path) << text; }; };
  struct Case {
    const char* what;
    std::function<void()> make;
    std::string reason;
  } cases[] = {
      {"a directory", [&] { fs::create_directory(path); }, "not a regular file"},
      {"a FIFO", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, "not a regular file"},
      {"a device", [&] { path = "/dev/zero"; }, "not a regular file"},
      {"a path through a file", [&] { std::ofstream{path}; path += "/x"; },
       "cannot read: Not a directory"},
      {"too large", write(std::string(MAX_STATE_FILE_BYTES + 1, '#')),
       "larger than 65536 bytes"},
      {"left empty by an interrupted rewrite", write(""), "no lanboot line"},
      {"a line without its number", write("segment0\n" + sound),
       "line 1: not a key and a whole number"},
      {"an unknown key", write(sound + "segment5 1\n"), "line 8: unknown key segment5"},
      {"a key twice", write(sound + "lanboot 7\n"), "line 8: lanboot given twice"},
      {"beyond 32 bits", write("segment0 4294967296\n"), "line 1: segment0 beyond 32 bits"},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::path own = directory / std::to_string(++number);
    fs::create_directory(own);
    path = (own / "module-state").string();
    c.make();
    const std::string before = fs::is_regular_file(path) ? contentOf(path) : "";
    FlashRevisions flash = olderModuleFlash();
    std::string error;
    EXPECT_EQ(open(&flash, &error), nullptr);
    EXPECT_EQ(error, "state file " + path + ": " + c.reason);
    EXPECT_TRUE(sameFlash(flash, olderModuleFlash()));
    if (fs::is_regular_file(path)) {
      EXPECT_EQ(contentOf(path), before);
    }
  }
}

TEST_F(StateFileTest, AFileWithoutReadPermissionIsRefused) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  std::ofstream(path) << "segment0 1\n";
  fs::permissions(path, fs::perms::none);
  FlashRevisions flash;
  std::string error;
  EXPECT_EQ(open(&flash, &error), nullptr);
  EXPECT_EQ(error, "state file " + path + ": cannot read: Permission denied");
}

// Two runs at once on one file would lose one run's changes: the second
// waits for the lock and then gives up.
TEST_F(StateFileTest, ASecondRunWaitsForTheLockAndGivesUp) {
  FlashRevisions flash = olderModuleFlash();
  std::unique_ptr<FlashStateFile> first = open(&flash);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(first->save(flash, nullptr));

  double start = elapsedSeconds();
  std::string error;
  EXPECT_EQ(open(&flash, &error), nullptr);
  EXPECT_GT(elapsedSeconds() - start, 3.0);
  EXPECT_EQ(error, "state file " + path + ": in use by another run (" + path +
                       ".lock stayed locked for 3 s)");

  first.reset();
  EXPECT_NE(open(&flash), nullptr);
}

TEST_F(StateFileTest, ARunKilledBetweenWriteAndRenameLeavesTheOldContent) {
  FlashRevisions old = olderModuleFlash();
  ASSERT_TRUE(saveFlash(path, old));
  const std::string oldContent = contentOf(path);

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FlashRevisions flash;
    std::unique_ptr<FlashStateFile> file = open(&flash);
    if (file == nullptr) _exit(2);
    stateFileBeforeRename = [] { raise(SIGKILL); };
    (void)file->save(upToDateFlash(), nullptr);
    _exit(3);  // not reached: the save stops at the rename
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
  EXPECT_EQ(contentOf(path), oldContent);
  ASSERT_EQ(leftovers().size(), 1u);  // the killed run's temporary file

  // The next run gets the lock the killed one held, the old flash, and a
  // clean directory.
  FlashRevisions flash = upToDateFlash();
  std::unique_ptr<FlashStateFile> file = open(&flash);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(sameFlash(flash, old));
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(StateFileTest, AFailedSaveKeepsTheModuleRunningAndSaysWhy) {
  ModuleConfig config;
  config.flash = olderModuleFlash();
  config.stateFile = open(&config.flash);
  ASSERT_NE(config.stateFile, nullptr);
  fs::create_directory(path);  // the rename over it fails
  Q7340Module module(config);
  ModuleDriver driver(module);
  driver.loadLibraries();
  ASSERT_EQ(driver.putCarried("vxiga.hex"), 0);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(driver.command("q7340FlashProgVxiga"), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "q7340 simulator: state file " + path + ": cannot write: Is a directory\n");
  EXPECT_EQ(module.flash().segment[1], payloadFind("vxiga.hex")->revision);
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

}  // namespace
