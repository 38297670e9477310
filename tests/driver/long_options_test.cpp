// The GNU long options, taken before the program's own parser: --help and
// --version answer and end the run at once (no VISA, no closing prompt),
// --visa-library= names the one VISA library to load, and every other
// argument reaches the program's parser as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/long_options.h"
#include "tests/driver/program_run.h"

namespace {

struct LongCase {
  std::string name;
  std::vector<std::string> arguments;
  std::string out;
  std::string err;
  int32_t status;
};
void PrintTo(const LongCase& c, std::ostream* os) { *os << c.name; }

class LongOption : public ::testing::TestWithParam<LongCase> {};

TEST_P(LongOption, AnswersWithoutASession) {
  const LongCase& c = GetParam();
  ProgramRun run = runProgramNamed("/usr/bin/q7340romupdate", c.arguments, "\n");
  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.err, c.err);
  EXPECT_EQ(run.status, c.status);
  EXPECT_FALSE(run.session.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Driver, LongOption,
    ::testing::Values(
        LongCase{"Help", {"--help"}, usageText("q7340romupdate"), "", 0},
        LongCase{"HelpWinsOverShortOptions", {"-f", "--help", "-L", "999"},
                 usageText("q7340romupdate"), "", 0},
        LongCase{"Version", {"--version"}, "q7340romupdate: version 1.0.1.0\n", "", 0},
        LongCase{"MissingVisaLibrary", {"-q", "--visa-library=/nonexistent/libvisa.so"}, "",
                 "Error: no usable VISA library: /nonexistent/libvisa.so: cannot open shared "
                 "object file: No such file or directory\n",
                 -1},
        LongCase{"EmptyVisaLibrary", {"-q", "--visa-library="}, "",
                 "Error: --visa-library= names no library\n", -1}),
    [](const auto& info) { return info.param.name; });

TEST(LongOptions, OnlyTheExactSpellingsAreTakenAndTheRestKeepsItsOrder) {
  const char* argv[] = {"q7", "-n", "--visa-library=/opt/libvisa.so", "--helpx", "-L",
                        "--version", "--visa-library", nullptr};
  LongOptions options;
  const char* rest[8];
  int32_t count = takeLongOptions(7, argv, &options, rest, 7);
  EXPECT_EQ(options.help, 0);
  EXPECT_EQ(options.version, 1);
  EXPECT_STREQ(options.visaLibrary, "/opt/libvisa.so");
  ASSERT_EQ(count, 5);
  EXPECT_EQ(std::vector<std::string>(rest, rest + count),
            (std::vector<std::string>{"q7", "-n", "--helpx", "-L", "--visa-library"}));
  EXPECT_EQ(rest[count], nullptr);
}

}  // namespace
