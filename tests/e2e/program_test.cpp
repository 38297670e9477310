// The built program run as a process of its own over the simulator's
// libvisa.so, in real time with short module timings: exit codes and the
// lines that tell what happened. The module keeps its flash in a state file
// between the runs of one case.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/process_outcome.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string CLOSING = "\nPress Enter to exit.";
const std::string REBOOT_ADVICE = "Reboot the module for the ROM changes to be effective.\n";
const std::string REBOOT_LATER = "To reboot the Q7340 module, q7340romupdate -R\n";
const std::string REBOOT_DONE =
    "\nRebooting Q7340\nWaiting up to 35 Sec for reboot to complete\nReboot complete\n";
const std::string HEAD = "ROM Segment   Segment Desc    Revision\n";
const std::string CARRIED_ROWS =
    "0             OS              110000\n"
    "1             FPGA1           2051614\n"
    "2             FPGA2           2071509\n"
    "3             FPGA3           3041016\n"
    "4             selfTest        10800\n";
const std::string MODULE_TITLE = "ROM segment revisions in Q7340 module VXI0::128\n";
const std::string MODULE_UP_TO_DATE = MODULE_TITLE + HEAD + CARRIED_ROWS + "\n";

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* programPath = std::getenv("Q7_PROGRAM");
    const char* simvisaPath = std::getenv("Q7_SIMVISA_DIR");
    program = programPath != nullptr ? programPath : Q7_E2E_PROGRAM;
    simvisa = simvisaPath != nullptr ? simvisaPath : Q7_E2E_SIMVISA_DIR;
    ASSERT_TRUE(fs::exists(program)) << program;
    ASSERT_TRUE(fs::exists(fs::path(simvisa) / "libvisa.so")) << simvisa;
    std::string pattern = (fs::temp_directory_path() / "q7340-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory = pattern;
  }

  void TearDown() override {
    std::error_code ignored;
    if (!directory.empty()) fs::remove_all(directory, ignored);
  }

  // Runs the program with the arguments, the input on standard input and the
  // module preset (older, uptodate, newer) for a fresh state file.
  // `whileRunning` (when given) is called with the child and the path of its
  // standard output while it runs.
  Outcome run(const std::vector<std::string>& arguments, const std::string& input,
              const std::string& preset, const std::string& programSeconds = "0.05",
              const std::function<void(pid_t, const fs::path&)>& whileRunning = {}) {
    fs::path inPath = directory / "stdin";
    fs::path outPath = directory / "stdout";
    fs::path errPath = directory / "stderr";
    std::ofstream(inPath, std::ios::binary) << input;

    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      std::string text = *entry;
      size_t equals = text.find('=');
      if (equals == std::string::npos || startsWith(text, "Q7SIM_")) continue;
      variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    std::string libraryPath = variables["LD_LIBRARY_PATH"];
    variables["LD_LIBRARY_PATH"] = simvisa + (libraryPath.empty() ? "" : ":" + libraryPath);
    variables["Q7SIM_MODULE"] = preset;
    variables["Q7SIM_STATE_FILE"] = (directory / "module-state").string();
    variables["Q7SIM_PROGRAM_SECONDS"] = programSeconds;
    variables["Q7SIM_BOOT_SECONDS"] = "0.2";
    variables["Q7SIM_DRAIN_BYTES_PER_SECOND"] = "50000000";
    std::vector<std::string> environment;
    for (const auto& [name, value] : variables) environment.push_back(name + "=" + value);

    std::vector<char*> argv{program.data()};
    std::vector<std::string> argumentCopies = arguments;
    for (std::string& argument : argumentCopies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t child = 0;
    int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Outcome outcome;
    EXPECT_EQ(spawned, 0) << std::strerror(spawned);
    if (spawned != 0) return outcome;
    if (whileRunning) whileRunning(child, outPath);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "wait status " << status;
    if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
    outcome.out = fileContents(outPath);
    outcome.err = fileContents(errPath);
    return outcome;
  }

  std::string program;
  std::string simvisa;
  fs::path directory;
};

TEST_F(Program, InteractiveUpdateOfAnOlderModuleThenEverythingIsUpToDate) {
  Outcome update = run({}, "\n\ny\ny\n\n", "older");
  EXPECT_EQ(update.exitCode, 0);
  EXPECT_EQ(update.err, "");
  EXPECT_NE(update.out.find("Enter interface [VXI0]: VXI0\nEnter device address [128]: 128\n\n"),
            std::string::npos);
  EXPECT_NE(update.out.find(MODULE_TITLE + HEAD + "0             OS              100000\n"),
            std::string::npos);
  EXPECT_NE(update.out.find("Program new ROM segments now (y/n)[n]? \n"), std::string::npos);
  for (int segment = 0; segment < 5; ++segment) {
    EXPECT_EQ(occurrences(update.out, "Downloading ROM segment " + std::to_string(segment) + " \n"),
              1u);
    EXPECT_EQ(occurrences(update.out, "Programing ROM segment " + std::to_string(segment) + "\n"),
              1u);
  }
  EXPECT_TRUE(endsWith(update.out, REBOOT_ADVICE + "Reboot Q7340 module now (y/n)[y]? " +
                                       REBOOT_DONE + CLOSING))
      << update.out;

  Outcome again = run({}, "\n\n\n", "older");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.err, "");
  EXPECT_TRUE(endsWith(again.out, MODULE_UP_TO_DATE + "All ROM segments are up to date\n" + CLOSING))
      << again.out;
}

TEST_F(Program, RevisionsOnly) {
  Outcome result = run({"-r", "-n"}, "", "older");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(endsWith(result.out, MODULE_TITLE + HEAD +
                                       "0             OS              100000\n"
                                       "1             FPGA1           2041200\n"
                                       "2             FPGA2           2061000\n"
                                       "3             FPGA3           3030500\n"
                                       "4             selfTest        10700\n\n"))
      << result.out;
}

TEST_F(Program, NonInteractiveUpdateLeavesTheRebootToTheOperator) {
  Outcome update = run({"-n"}, "", "older");
  EXPECT_EQ(update.exitCode, 0);
  EXPECT_EQ(update.err, "");
  EXPECT_EQ(update.out.find("(y/n)"), std::string::npos);
  EXPECT_TRUE(endsWith(update.out, "Programing ROM segment 4\n\n" + REBOOT_ADVICE + REBOOT_LATER))
      << update.out;

  Outcome revisions = run({"-r", "-n"}, "", "older");
  EXPECT_EQ(revisions.exitCode, 0);
  EXPECT_TRUE(endsWith(revisions.out, MODULE_UP_TO_DATE)) << revisions.out;
}

TEST_F(Program, QuietUpdatePrintsNothing) {
  Outcome update = run({"-q"}, "", "older");
  EXPECT_EQ(update.exitCode, 0);
  EXPECT_EQ(update.out, "");
  EXPECT_EQ(update.err, "");

  Outcome revisions = run({"-r", "-n"}, "", "older");
  EXPECT_TRUE(endsWith(revisions.out, MODULE_UP_TO_DATE)) << revisions.out;
}

TEST_F(Program, RebootOnRequest) {
  Outcome result = run({"-R", "-n"}, "", "uptodate");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            "Rebooting Q7340 VXI0::128\nWaiting up to 35 Sec for reboot to complete\n"
            "Reboot complete\n");
}

TEST_F(Program, ForcedUpdateOfTheNewerGenerationTakesTwoPasses) {
  Outcome result = run({"-f", "-n"}, "", "newer");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  std::string firstTable = MODULE_TITLE + HEAD + "0             OS              120500\n";
  size_t first = result.out.find(firstTable);
  size_t later = result.out.find("Selftest will be updated after the module reboots.\n\n");
  size_t reboot = result.out.find(REBOOT_DONE);
  size_t second = result.out.find(MODULE_UP_TO_DATE);
  size_t selfTest = result.out.find("Programing ROM segment 4\n");
  ASSERT_NE(first, std::string::npos) << result.out;
  ASSERT_NE(later, std::string::npos) << result.out;
  ASSERT_NE(reboot, std::string::npos) << result.out;
  ASSERT_NE(second, std::string::npos) << result.out;
  ASSERT_NE(selfTest, std::string::npos) << result.out;
  EXPECT_LT(first, later);
  EXPECT_LT(later, reboot);
  EXPECT_LT(reboot, second);
  EXPECT_LT(second, selfTest);
  EXPECT_EQ(occurrences(result.out, "Programing ROM segment 0\n"), 1u);
  EXPECT_EQ(occurrences(result.out, "Programing ROM segment 4\n"), 1u);
  EXPECT_TRUE(endsWith(result.out, REBOOT_ADVICE + REBOOT_LATER)) << result.out;
}

TEST_F(Program, FailureIsExitCode255) {
  Outcome result = run({"-n", "-I", "10.1.2.3"}, "", "older");
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_EQ(result.err, "Error: update over lan not supported\n");
}

// Ctrl-C while a segment programs: programming goes on to its end, the images
// are removed, and the run ends with the interruption as its error. Standard
// output is written line by line, so the line to wait for is in the file
// while the program runs.
TEST_F(Program, InterruptDuringProgrammingFinishesProgrammingFirst) {
  const std::string waitFor = "Programing ROM segment 1\n";
  bool sent = false;
  Outcome outcome = run({"-n", "-f", "-S", "1"}, "", "older", "1.0", [&](pid_t child, const fs::path& out) {
    for (int i = 0; i < 12000 && !sent; ++i) {
      if (fileContents(out).find(waitFor) != std::string::npos) {
        sent = kill(child, SIGINT) == 0;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  ASSERT_TRUE(sent) << "the programming line never came";
  EXPECT_EQ(outcome.exitCode, 255);
  EXPECT_TRUE(endsWith(outcome.out, waitFor + "\n")) << outcome.out;
  EXPECT_EQ(outcome.err,
            "SIGINT received: programming continues, and the update stops after it.\n"
            "Error: update interrupted by SIGINT after programming\n");
  // The next run finds the segment programmed.
  Outcome next = run({"-n", "-r"}, "", "older");
  EXPECT_TRUE(endsWith(next.out, "1             FPGA1           2051614\n"
                                 "2             FPGA2           2061000\n"
                                 "3             FPGA3           3030500\n"
                                 "4             selfTest        10700\n\n"))
      << next.out;
}

// What a terminal shows once the bytes are written: carriage returns, "erase
// to the end of the line" and line ends applied.
std::string screenText(const std::string& bytes) {
  std::vector<std::string> lines(1);
  size_t column = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    std::string& line = lines.back();
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else if (bytes.compare(i, 3, "\033[K") == 0) {
      line.resize(std::min(line.size(), column));
      i += 2;
    } else {
      if (column < line.size()) line[column] = c; else line += c;
      ++column;
    }
  }
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += lines[i] + (i + 1 < lines.size() ? "\n" : "");
  return text;
}

// On a terminal the run shows live progress on standard error, and erases it
// so that the screen ends up holding exactly the lines a log of the run holds.
TEST_F(Program, ProgressOnATerminalLeavesExactlyTheTranscript) {
  // One image and one programming function: enough to show both kinds of progress.
  const std::vector<std::string> arguments = {"-n", "-f", "-S", "1"};
  Outcome logged = run(arguments, "", "older", "0.3");
  ASSERT_EQ(logged.exitCode, 0);
  fs::remove(directory / "module-state");

  setenv("Q7SIM_MODULE", "older", 1);
  setenv("Q7SIM_STATE_FILE", (directory / "module-state").c_str(), 1);
  setenv("Q7SIM_PROGRAM_SECONDS", "1.1", 1);  // long enough to show its seconds
  setenv("Q7SIM_BOOT_SECONDS", "0.2", 1);
  setenv("Q7SIM_DRAIN_BYTES_PER_SECOND", "5000000", 1);
  setenv("LD_LIBRARY_PATH", simvisa.c_str(), 1);
  int terminal = -1;
  pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl(program.c_str(), program.c_str(), "-n", "-f", "-S", "1", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string bytes;
  char buffer[4096];
  for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) bytes.append(buffer, got);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  close(terminal);
  EXPECT_EQ(WEXITSTATUS(status), 0);

  EXPECT_NE(bytes.find("vxiga.hex: "), std::string::npos);  // progress was drawn
  EXPECT_NE(bytes.find("programming: "), std::string::npos);
  std::string expected = logged.out;
  for (size_t at = 0; (at = expected.find('\n', at)) != std::string::npos; at += 2)
    expected.insert(at, "\r");  // the terminal's line ends
  EXPECT_EQ(screenText(bytes), screenText(expected));
}

// Standard output and standard error on one pipe, as in "2>&1 | tee log":
// the lines come in the order they were written, the error line last.
TEST_F(Program, BothStreamsOnOnePipeKeepTheirOrder) {
  fs::path logPath = directory / "log";
  std::string command = "LD_LIBRARY_PATH=" + simvisa + " Q7SIM_STATE_FILE=" +
                        (directory / "state").string() + " " + program + " -n -L 64 > " +
                        logPath.string() + " 2>&1";
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 255);
  std::string log = fileContents(logPath);
  EXPECT_TRUE(startsWith(log, "ROM segment revisions in this update:\n")) << log;
  EXPECT_TRUE(endsWith(log, "\nError: failed initialize Q7340, check address\n")) << log;
}

}  // namespace
