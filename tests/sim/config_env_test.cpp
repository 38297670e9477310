// Q7SIM_* variables of the shared-library form: values that are not sound are
// reported once and ignored; a state file that cannot be used leaves the
// module out of the mainframe, with one line that says why.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "common/clock.h"
#include "sim/config_env.h"
#include "sim/mainframe.h"
#include "sim/module/state_file.h"

namespace {

namespace fs = std::filesystem;

// configFromEnvironment() with what it wrote to standard error.
sim::MainframeConfig configuredWith(std::string* err) {
  ::testing::internal::CaptureStderr();
  sim::MainframeConfig config = sim::configFromEnvironment();
  *err = ::testing::internal::GetCapturedStderr();
  return config;
}

TEST(EnvironmentValues, ThoseNotSoundAreReportedOnceAndIgnored) {
  using Config = sim::MainframeConfig;
  const Config defaults;
  struct Case {
    const char* variable;
    const char* value;
    std::function<bool(const Config&)> kept;  // the default is still there
    std::string line;                         // after "q7340 simulator: "
  } cases[] = {
      {"Q7SIM_PROGRAM_SECONDS", "nan",
       [&](const Config& c) { return c.module.programTime == defaults.module.programTime; },
       "Q7SIM_PROGRAM_SECONDS=nan ignored: not a number from 0 to 86400"},
      {"Q7SIM_BOOT_SECONDS", "inf",
       [&](const Config& c) { return c.module.bootTime == defaults.module.bootTime; },
       "Q7SIM_BOOT_SECONDS=inf ignored: not a number from 0 to 86400"},
      {"Q7SIM_BOOT_SECONDS", "1e400",
       [&](const Config& c) { return c.module.bootTime == defaults.module.bootTime; },
       "Q7SIM_BOOT_SECONDS=1e400 ignored: not a number from 0 to 86400"},
      {"Q7SIM_DRAIN_BYTES_PER_SECOND", "-5",
       [&](const Config& c) { return c.module.drainRate == defaults.module.drainRate; },
       "Q7SIM_DRAIN_BYTES_PER_SECOND=-5 ignored: not a number from 0 to 1e+12"},
      {"Q7SIM_COST_BLOCK16_US", "0.4us",
       [&](const Config& c) { return c.costs.block16 == defaults.costs.block16; },
       "Q7SIM_COST_BLOCK16_US=0.4us ignored: not a number from 0 to 1e+06"},
      {"Q7SIM_Q7340_LA", "1.5", [&](const Config& c) { return c.q7340La == defaults.q7340La; },
       "Q7SIM_Q7340_LA=1.5 ignored: not a whole number from 0 to 255"},
      {"Q7SIM_RESET_REQUEST", "2",
       [&](const Config& c) { return !c.module.resetRequestAtPowerUp; },
       "Q7SIM_RESET_REQUEST=2 ignored: not a whole number from 0 to 1"},
      {"Q7SIM_MODULE", "oldr",
       [&](const Config& c) { return c.module.flash.segment[0] == 0; },
       "Q7SIM_MODULE=oldr ignored: not older, uptodate or newer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variable) + "=" + c.value);
    setenv(c.variable, c.value, 1);
    std::string err;
    Config config = configuredWith(&err);
    unsetenv(c.variable);
    EXPECT_TRUE(c.kept(config));
    EXPECT_EQ(err, "q7340 simulator: " + c.line + "\n");
  }

  setenv("Q7SIM_BOOT_SECONDS", "0.2", 1);
  setenv("Q7SIM_DRAIN_BYTES_PER_SECOND", "0", 1);  // a stalled module
  std::string err;
  Config config = configuredWith(&err);
  EXPECT_EQ(err, "");
  EXPECT_EQ(config.module.bootTime, 0.2);
  EXPECT_EQ(config.module.drainRate, 0);
}

class StateFileVariable : public ::testing::Test {
 protected:
  void SetUp() override {
    clockUseVirtual();  // the lock wait passes at once
    std::string pattern = (fs::temp_directory_path() / "q7340-env-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory = pattern;
    path = (directory / "module-state").string();
    setenv("Q7SIM_STATE_FILE", path.c_str(), 1);
    setenv("Q7SIM_MODULE", "older", 1);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(directory, ignored);
  }
  fs::path directory;
  std::string path;
};

TEST_F(StateFileVariable, TheFileWinsOverThePresetAndStaysLockedForTheRun) {
  ASSERT_TRUE(sim::module::saveFlash(path, sim::module::upToDateFlash()));
  std::string err;
  sim::MainframeConfig first = configuredWith(&err);
  EXPECT_EQ(err, "");
  EXPECT_EQ(first.q7340La, 128);
  EXPECT_EQ(first.module.flash.segment[0], sim::module::upToDateFlash().segment[0]);
  ASSERT_NE(first.module.stateFile, nullptr);

  setenv("Q7SIM_STATE_LOCK_SECONDS", "1", 1);
  sim::MainframeConfig second = configuredWith(&err);
  EXPECT_EQ(second.q7340La, -1);
  EXPECT_EQ(err, "q7340 simulator: state file " + path + ": in use by another run (" + path +
                     ".lock stayed locked for 1 s); the simulated mainframe has no Q7340 module\n");
  EXPECT_EQ(sim::Mainframe(second).device(128), nullptr);
}

TEST_F(StateFileVariable, AnUnusableFileLeavesTheModuleOutInsteadOfStartingFromThePreset) {
  std::ofstream(path) << "segment0 110000\n";  // the rest of the lines lost
  std::string err;
  sim::MainframeConfig config = configuredWith(&err);
  EXPECT_EQ(config.q7340La, -1);
  EXPECT_EQ(config.module.stateFile, nullptr);
  EXPECT_EQ(err, "q7340 simulator: state file " + path +
                     ": no lanboot line; the simulated mainframe has no Q7340 module\n");
}

}  // namespace
