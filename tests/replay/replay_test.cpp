// Record, convert, replay: the built program runs over the simulator's
// libvisa.so with --visa-trace, tools/trace_exchanges.py turns the trace into
// an exchange record, and the program runs again over a module that plays
// that record (Q7SIM_REPLAY). The kept records under fixtures/ are replayed
// against the program as it is now, so that a change in what the program
// says to the module fails here.
//
// Regenerating the fixtures (after a deliberate change of the conversation):
//   Q7_UPDATE_FIXTURES=1 build/tests/replay/replay_tests --gtest_filter='*Fixture*'
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/process_outcome.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Variables = std::map<std::string, std::string>;

// Runs `argv` with standard input from `input` and the environment less
// every Q7SIM_* variable, plus `variables`.
Outcome spawn(const fs::path& directory, std::vector<std::string> argv, const std::string& input,
              const Variables& variables) {
  fs::path inPath = directory / "stdin", outPath = directory / "stdout",
           errPath = directory / "stderr";
  std::ofstream(inPath, std::ios::binary) << input;
  Variables all;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    size_t equals = text.find('=');
    if (equals != std::string::npos && text.rfind("Q7SIM_", 0) != 0)
      all[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : variables) all[name] = value;
  std::vector<std::string> environment;
  for (const auto& [name, value] : all) environment.push_back(name + "=" + value);
  std::vector<char*> args, envp;
  for (std::string& argument : argv) args.push_back(argument.data());
  args.push_back(nullptr);
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t child = 0;
  int spawned = posix_spawn(&child, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  Outcome outcome;
  EXPECT_EQ(spawned, 0) << std::strerror(spawned);
  if (spawned != 0) return outcome;
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  outcome.out = fileContents(outPath);
  outcome.err = fileContents(errPath);
  return outcome;
}

// One run of the program that the fixtures keep.
struct Scenario {
  const char* name;
  const char* preset;       // Q7SIM_MODULE
  const char* failCommand;  // Q7SIM_FAIL_COMMAND, or ""
  const char* resetRequest; // Q7SIM_RESET_REQUEST
  std::vector<std::string> arguments;
  const char* input;
  int exitCode;
  bool fixture;             // kept under fixtures/
};

const Scenario OLDER_FULL_UPDATE = {"older_full_update", "older", "", "0", {}, "\n\ny\ny\n\n", 0, true};

const std::vector<Scenario> SCENARIOS = {
    OLDER_FULL_UPDATE,
    {"newer_forced_update", "newer", "", "0", {"-n", "-f"}, "", 0, true},
    {"failed_programming", "older", "q7340FlashProgVxiga:-8", "0", {"-n"}, "", 255, true},
    // A module that asks for a reset at power-up: the replay takes that from
    // the first Status value of the record.
    {"reset_requested", "older", "", "1", {"-r", "-n"}, "", 0, false},
};

class Replay : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(Q7_PYTHON)) GTEST_SKIP() << Q7_PYTHON << " is not installed";
    std::string pattern = (fs::temp_directory_path() / "q7340-replay-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    if (!directory.empty()) fs::remove_all(directory, ignored);
  }

  // The program over the simulator: the scenario's module, or the recorded
  // one in `record`, with `trace` when given.
  Outcome run(const Scenario& scenario, const std::vector<std::string>& arguments,
              const std::string& record = "", const std::string& trace = "") {
    Variables variables = {
        {"LD_LIBRARY_PATH", Q7_REPLAY_SIMVISA_DIR},
        {"Q7SIM_MODULE", scenario.preset},
        {"Q7SIM_RESET_REQUEST", scenario.resetRequest},
        {"Q7SIM_FAIL_COMMAND", scenario.failCommand},
        {"Q7SIM_STATE_FILE", (directory / (scenario.name + std::string("-state"))).string()},
        {"Q7SIM_PROGRAM_SECONDS", "0.05"},
        {"Q7SIM_BOOT_SECONDS", "0.2"},
        {"Q7SIM_DRAIN_BYTES_PER_SECOND", "50000000"},
        {"Q7SIM_REPLAY", record}};
    std::vector<std::string> argv = {Q7_REPLAY_PROGRAM};
    if (!trace.empty()) argv.push_back("--visa-trace=" + trace);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    fs::remove(directory / (scenario.name + std::string("-state")));
    return spawn(directory, argv, scenario.input, variables);
  }
  Outcome run(const Scenario& scenario) { return run(scenario, scenario.arguments); }

  // The trace of a live run of the scenario, converted; the live outcome.
  Outcome recordRun(const Scenario& scenario, const fs::path& into, bool withoutTimes) {
    fs::path trace = directory / "trace";
    Outcome live = run(scenario, scenario.arguments, "", trace.string());
    std::vector<std::string> convert = {Q7_PYTHON, Q7_TRACE_TOOL};
    if (withoutTimes) convert.push_back("--without-times");
    convert.push_back(trace.string());
    convert.push_back(into.string());
    Outcome converted = spawn(directory, convert, "", {});
    EXPECT_EQ(converted.exitCode, 0) << converted.err;
    return live;
  }

  fs::path directory;
};

// The kept records hold the stand-in firmware's digests.
bool carriesStandInFirmware() {
#ifdef Q7_REPLAY_STANDIN_FIRMWARE
  return true;
#else
  return false;
#endif
}

void expectSameRun(const Outcome& replayed, const Outcome& live, int exitCode) {
  EXPECT_EQ(live.exitCode, exitCode) << live.err;
  EXPECT_EQ(replayed.exitCode, live.exitCode);
  EXPECT_EQ(replayed.out, live.out);
  EXPECT_EQ(replayed.err, live.err);
}

TEST_F(Replay, ARecordedRunReplaysToTheSameTranscriptAndStatus) {
  for (const Scenario& scenario : SCENARIOS) {
    SCOPED_TRACE(scenario.name);
    fs::path record = directory / "record";
    Outcome live = recordRun(scenario, record, false);
    Outcome replayed = run(scenario, scenario.arguments, record.string());
    expectSameRun(replayed, live, scenario.exitCode);
  }
}

// The kept records replayed against the program as it is now: a change in
// its requests stops the replay and shows in standard error.
TEST_F(Replay, EveryFixtureReplaysAgainstTheCurrentProgram) {
  if (!carriesStandInFirmware()) GTEST_SKIP() << "the fixtures are of the stand-in firmware";
  for (const Scenario& scenario : SCENARIOS) {
    if (!scenario.fixture) continue;
    SCOPED_TRACE(scenario.name);
    fs::path fixture = fs::path(Q7_REPLAY_FIXTURES) / (scenario.name + std::string(".exchanges"));
    Outcome live;
    if (std::getenv("Q7_UPDATE_FIXTURES") != nullptr)
      live = recordRun(scenario, fixture, true);
    else
      live = run(scenario);
    ASSERT_TRUE(fs::exists(fixture)) << fixture;
    Outcome replayed = run(scenario, scenario.arguments, fixture.string());
    expectSameRun(replayed, live, scenario.exitCode);
  }
}

// The fixture's request line of exchange n.
std::string requestLine(const std::string& record, int n) {
  std::istringstream lines(record);
  std::string line;
  while (std::getline(lines, line))
    if (line.rfind("{\"n\":" + std::to_string(n) + ",", 0) == 0) return line;
  return "";
}

std::string digestOf(const std::string& line) {
  size_t at = line.find("\"sha256\":\"");
  return at == std::string::npos ? "" : line.substr(at + 10, 64);
}

TEST_F(Replay, AChangedRequestStopsTheReplayAtItsExchange) {
  if (!carriesStandInFirmware()) GTEST_SKIP() << "the fixtures are of the stand-in firmware";
  const fs::path fixture = fs::path(Q7_REPLAY_FIXTURES) / "older_full_update.exchanges";
  const std::string original = fileContents(fixture);
  ASSERT_FALSE(original.empty()) << fixture;
  const std::string request3 = requestLine(original, 3);
  const std::string request5 = requestLine(original, 5);
  ASSERT_FALSE(request3.empty());
  ASSERT_FALSE(request5.empty());

  // Exchange 3 (the download of romupdate.out) with one digit of its digest changed.
  std::string altered = original;
  std::string digest3 = digestOf(request3);
  std::string changed3 = (digest3[0] == '0' ? "1" : "0") + digest3.substr(1);
  altered.replace(altered.find(digest3), 64, changed3);
  // The record cut after exchange 4.
  std::string cut = original.substr(0, original.find(request5));

  struct Case {
    const char* what;
    std::string record;
    std::vector<std::string> arguments;
    std::string line;   // the whole stop line, or its beginning when `prefixOnly`
    bool prefixOnly;
    std::string error;  // the program's own error line
  };
  const std::string segment0 = "expected tag 0x7b, " + std::to_string(std::stoul(
      request5.substr(request5.find("\"length\":") + 9))) + " bytes, sha256 " +
      digestOf(request5).substr(0, 12) + "; got tag 0x7b, ";
  const std::vector<Case> cases = {
      {"a digest altered", altered, {"-n"},
       "stopped at exchange 3: expected tag 0x68, 22032 bytes, sha256 " + changed3.substr(0, 12) +
           "; got tag 0x68, 22032 bytes, sha256 " + digest3.substr(0, 12) + "\n",
       false, "Error: failed initialize Q7340 app, check address\n"},
      {"another scenario's requests", original, {"-n", "-S", "2"},
       "stopped at exchange 5: " + segment0, true, "Error: failed to download ROM file bbbga.hex\n"},
      {"a request beyond the record", cut, {"-n"},
       "stopped at exchange 5: expected no request (the record ends after 4); got tag 0x7b, ",
       true, "Error: failed to download ROM file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::path record = directory / "changed.exchanges";
    std::ofstream(record, std::ios::binary) << c.record;
    Outcome replayed = run(OLDER_FULL_UPDATE, c.arguments, record.string());
    EXPECT_EQ(replayed.exitCode, 255);
    std::string start = "q7340 simulator: replay of " + record.string() + " ";
    std::string expected = start + c.line;
    EXPECT_EQ(occurrences(replayed.err, start), 1u) << replayed.err;
    EXPECT_EQ(replayed.err.compare(0, expected.size(), expected), 0) << replayed.err;
    EXPECT_NE(replayed.err.find(c.error), std::string::npos) << replayed.err;
  }
}

TEST_F(Replay, ARecordThatCannotBeReadLeavesNoModule) {
  fs::path record = directory / "not-a-record";
  std::ofstream(record) << "{\"trace\":\"q7340romupdate VISA calls\"}\n";
  Outcome replayed = run(OLDER_FULL_UPDATE, {"-n"}, record.string());
  EXPECT_EQ(replayed.exitCode, 255);
  EXPECT_EQ(replayed.err, "q7340 simulator: replay file " + record.string() +
                              ": line 1: not an exchange record; the simulated mainframe has no "
                              "Q7340 module\nError: failed initialize Q7340, check address\n");
}

}  // namespace
