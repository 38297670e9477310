// Whole runs of the program's entry up to the update session: options, what
// they print, the prompts, the closing prompt and the exit status, compared
// byte for byte, and the settings the session is handed.
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/dialogue.h"
#include "tests/driver/program_run.h"

namespace {

using Settings = std::function<void(UpdateOptions&)>;
const Settings DEFAULTS = [](UpdateOptions&) {};

struct TranscriptCase {
  std::string name;
  std::vector<std::string> arguments;
  std::string input;
  std::string out;
  std::string err;
  int32_t status;
  std::optional<Settings> session;  // changes from the defaults; none: no session
  int32_t sessionStatus = 0;
};

std::string devicePrompts(const std::string& interfaceShown, const std::string& interfaceEcho,
                          const std::string& addressShown, const std::string& addressEcho) {
  return "Enter interface [" + interfaceShown + "]: " + interfaceEcho + "\n" +
         "Enter device address [" + addressShown + "]: " + addressEcho + "\n\n";
}

std::string lanPrompts(const std::string& interfaceShown, const std::string& interfaceEcho,
                       const std::string& ipEcho) {
  return "Enter interface [" + interfaceShown + "]: " + interfaceEcho + "\n" +
         "Enter IP address (ddd.ddd.ddd.ddd): " + ipEcho + "\n\n";
}

const std::string USAGE = usageText("q7340romupdate");
const std::string SEGMENT_ERROR = "Error: invalid specified rom segment, -S, must be 0 thru 4\n";
const std::string DEFAULT_PROMPTS = devicePrompts("VXI0", "VXI0", "128", "128");
const std::string LONG_47(47, 'A');
const std::string LONG_48(48, 'A');
const std::string LONG_255(255, 'i');
const std::string LONG_256(256, 'i');

void expectSameSettings(const UpdateOptions& actual, const UpdateOptions& expected) {
  EXPECT_STREQ(actual.vxiInterface, expected.vxiInterface);
  EXPECT_STREQ(actual.ipAddress, expected.ipAddress);
  EXPECT_EQ(actual.logicalAddress, expected.logicalAddress);
  EXPECT_EQ(actual.segment, expected.segment);
  EXPECT_EQ(actual.lanboot, expected.lanboot);
  EXPECT_EQ(actual.dumpSegment, expected.dumpSegment);
  EXPECT_EQ(actual.force, expected.force);
  EXPECT_EQ(actual.nonInteractive, expected.nonInteractive);
  EXPECT_EQ(actual.quiet, expected.quiet);
  EXPECT_EQ(actual.revisionOnly, expected.revisionOnly);
  EXPECT_EQ(actual.reboot, expected.reboot);
  EXPECT_EQ(actual.showVersion, expected.showVersion);
  EXPECT_EQ(actual.usageShown, expected.usageShown);
}

class Transcript : public testing::TestWithParam<TranscriptCase> {};

TEST_P(Transcript, MatchesByteForByte) {
  const TranscriptCase& c = GetParam();
  int32_t sessionStatus = c.sessionStatus;
  ProgramRun run = runProgram(c.arguments, c.input, [sessionStatus](UpdateOptions*) {
    return sessionStatus;
  });
  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.err, c.err);
  EXPECT_EQ(run.status, c.status);
  ASSERT_EQ(run.session.has_value(), c.session.has_value());
  if (c.session) {
    UpdateOptions expected;
    (*c.session)(expected);
    expectSameSettings(*run.session, expected);
    EXPECT_EQ(run.sessionProgramName, "q7340romupdate");
  }
}

void PrintTo(const TranscriptCase& c, std::ostream* os) { *os << c.name; }

std::string caseName(const testing::TestParamInfo<TranscriptCase>& info) {
  return info.param.name;
}

// Usage, version and -S, the stops before anything is connected.
INSTANTIATE_TEST_SUITE_P(
    Stops, Transcript,
    testing::Values(
        TranscriptCase{"Usage", {"-u"}, "\n", CLOSING_PROMPT, USAGE, 0, std::nullopt},
        // The usage stop comes before -S is looked at and before -q makes the run
        // non-interactive.
        TranscriptCase{"UsageBeforeBadSegmentAndQuiet", {"-q", "-u", "-S", "5"}, "\n",
                       CLOSING_PROMPT, USAGE, 0, std::nullopt},
        TranscriptCase{"QuestionMarkNonInteractive", {"-n", "-?"}, "", "", USAGE, 0,
                       std::nullopt},
        TranscriptCase{"UsagePrintedAsOftenAsAsked", {"-u", "-n", "/u"}, "", "", USAGE + USAGE,
                       0, std::nullopt},
        TranscriptCase{"QuietVersion", {"-q", "-v"}, "", VERSION_LINE, "", 0, std::nullopt},
        TranscriptCase{"Version", {"-v"}, "\n", VERSION_LINE + UPDATE_REVISIONS + CLOSING_PROMPT,
                       "", 0, std::nullopt},
        TranscriptCase{"VersionThenBadSegment", {"-v", "-n", "-S7"}, "", VERSION_LINE,
                       SEGMENT_ERROR, -1, std::nullopt},
        TranscriptCase{"SegmentFive", {"-S", "5", "-n"}, "", "", SEGMENT_ERROR, -1, std::nullopt},
        TranscriptCase{"SegmentMinusTwo", {"-S", "-2"}, "\n", CLOSING_PROMPT, SEGMENT_ERROR, -1,
                       std::nullopt},
        TranscriptCase{"QuietBadSegment", {"-q", "-S100"}, "", "", SEGMENT_ERROR, -1,
                       std::nullopt}),
    caseName);

// What the options hand to the session.
INSTANTIATE_TEST_SUITE_P(
    Options, Transcript,
    testing::Values(
        TranscriptCase{"SegmentNinetyNineMeansLanboot", {"-S", "99", "-n"}, "", UPDATE_REVISIONS,
                       "", 0,
                       [](UpdateOptions& o) {
                         o.lanboot = 1;
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"SegmentWordReadsAsZero", {"-n", "-S", "abc"}, "", UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) {
                         o.segment = 0;
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"SegmentSeparatorsAndLaterWins", {"-n", "-S=3", "-S:2"}, "",
                       UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) {
                         o.segment = 2;
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"SegmentLastArgumentIsLost", {"-n", "-S"}, "", UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) { o.nonInteractive = 1; }},
        TranscriptCase{"OnlyFirstLetterCounts", {"-fq", "-n"}, "", UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) {
                         o.force = 1;
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"SlashOptions", {"/f", "/n", "/S", "1"}, "", UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) {
                         o.force = 1;
                         o.nonInteractive = 1;
                         o.segment = 1;
                       }},
        TranscriptCase{"NonOptionStopsParsing", {"-n", "update", "-f", "-q"}, "",
                       UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) { o.nonInteractive = 1; }},
        TranscriptCase{"UnknownLettersAndLoneDashIgnored", {"-x", "-", "-n", "-Z"}, "",
                       UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) { o.nonInteractive = 1; }},
        TranscriptCase{"QuietIsNonInteractiveAndSilent", {"-q"}, "", "", "", 0,
                       [](UpdateOptions& o) {
                         o.quiet = 1;
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"RebootShowsNoTable", {"-R", "-n", "-L", "12"}, "", "", "", 0,
                       [](UpdateOptions& o) {
                         o.reboot = 1;
                         o.nonInteractive = 1;
                         o.logicalAddress = 12;
                       }},
        TranscriptCase{"DumpSegment", {"-d", "3", "-n"}, "", UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) {
                         o.dumpSegment = 3;
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"RevisionOnlyOverridesQuietAndStaysInteractive", {"-r", "-q"},
                       "\n\n\n", UPDATE_REVISIONS + DEFAULT_PROMPTS + CLOSING_PROMPT, "", 0,
                       [](UpdateOptions& o) { o.revisionOnly = 1; }},
        TranscriptCase{"LanAddressAskedInsteadOfDevice", {"-I", "10.0.0.1"}, "\n\n\n",
                       UPDATE_REVISIONS + lanPrompts("IP", "IP", "10.0.0.1") + CLOSING_PROMPT,
                       "", 0,
                       [](UpdateOptions& o) {
                         std::strcpy(o.vxiInterface, "IP");
                         std::strcpy(o.ipAddress, "10.0.0.1");
                       }},
        TranscriptCase{"InterfaceAfterLanTakesTheRunOffIt", {"-I", "10.0.0.1", "-V", "VXI2"},
                       "\n\n\n",
                       UPDATE_REVISIONS + devicePrompts("VXI2", "VXI2", "128", "128") +
                           CLOSING_PROMPT,
                       "", 0,
                       [](UpdateOptions& o) {
                         std::strcpy(o.vxiInterface, "VXI2");
                         std::strcpy(o.ipAddress, "10.0.0.1");
                       }},
        TranscriptCase{"SessionStatusIsTheExitStatus", {"-n"}, "", UPDATE_REVISIONS, "", -7,
                       [](UpdateOptions& o) { o.nonInteractive = 1; }, -7}),
    caseName);

// The prompts: what is taken, what is kept and what is echoed.
INSTANTIATE_TEST_SUITE_P(
    Prompts, Transcript,
    testing::Values(
        TranscriptCase{"EnterKeepsTheDefaults", {}, "\n\n\n",
                       UPDATE_REVISIONS + DEFAULT_PROMPTS + CLOSING_PROMPT, "", 0, DEFAULTS},
        TranscriptCase{"TypedValues", {"-V", "VXI1", "-L", "3"}, "VXI7\n200\n\n",
                       UPDATE_REVISIONS + devicePrompts("VXI1", "VXI7", "3", "200") +
                           CLOSING_PROMPT,
                       "", 0,
                       [](UpdateOptions& o) {
                         std::strcpy(o.vxiInterface, "VXI7");
                         o.logicalAddress = 200;
                       }},
        // One character and its line end is a line that counts.
        TranscriptCase{"OneCharacterTaken", {}, "X\n0\n\n",
                       UPDATE_REVISIONS + devicePrompts("VXI0", "X", "128", "0") + CLOSING_PROMPT,
                       "", 0,
                       [](UpdateOptions& o) {
                         std::strcpy(o.vxiInterface, "X");
                         o.logicalAddress = 0;
                       }},
        TranscriptCase{"EndOfInputKeepsValuesAndEndsTheRun", {"-L", "5"}, "",
                       UPDATE_REVISIONS + devicePrompts("VXI0", "VXI0", "5", "5") +
                           CLOSING_PROMPT,
                       "", 0, [](UpdateOptions& o) { o.logicalAddress = 5; }},
        TranscriptCase{"InterfaceBeginningWithIpIsLan", {}, "IPX\n192.168.1.2\n\n",
                       UPDATE_REVISIONS + lanPrompts("VXI0", "IPX", "192.168.1.2") +
                           CLOSING_PROMPT,
                       "", 0,
                       [](UpdateOptions& o) {
                         std::strcpy(o.vxiInterface, "IPX");
                         std::strcpy(o.ipAddress, "192.168.1.2");
                       }},
        // 47 characters fill the read; the last of them stands where the line end
        // would, and the line end left over is all the next prompt sees.
        TranscriptCase{"LongInterfaceLineEndGoesToNextPrompt", {}, LONG_47 + "\n\n",
                       UPDATE_REVISIONS +
                           devicePrompts("VXI0", std::string(46, 'A'), "128", "128") +
                           CLOSING_PROMPT,
                       "", 0,
                       [](UpdateOptions& o) { std::strcpy(o.vxiInterface, std::string(46, 'A').c_str()); }},
        TranscriptCase{"LongInterfaceRestGoesToNextPrompt", {}, LONG_47 + "9\n\n",
                       UPDATE_REVISIONS +
                           devicePrompts("VXI0", std::string(46, 'A'), "128", "9") +
                           CLOSING_PROMPT,
                       "", 0,
                       [](UpdateOptions& o) {
                         std::strcpy(o.vxiInterface, std::string(46, 'A').c_str());
                         o.logicalAddress = 9;
                       }}),
    caseName);

// Values no field or module could take are refused before anything is opened.
INSTANTIATE_TEST_SUITE_P(
    Refusals, Transcript,
    testing::Values(
        TranscriptCase{"InterfaceTooLong", {"-n", "-V", LONG_48}, "", "",
                       "Error: interface name longer than 47 characters\n", -1, std::nullopt},
        TranscriptCase{"InterfaceLongestTaken", {"-n", "-V", LONG_47}, "", UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) {
                         std::strcpy(o.vxiInterface, LONG_47.c_str());
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"InterfaceTooLongReplacedByLaterOne", {"-n", "-V", LONG_48, "-V", "VXI3"},
                       "", UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) {
                         std::strcpy(o.vxiInterface, "VXI3");
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"IpAddressTooLong", {"-I", LONG_256}, "\n", CLOSING_PROMPT,
                       "Error: IP address longer than 255 characters\n", -1, std::nullopt},
        // -V takes the run off the LAN path, where nothing reads the address.
        TranscriptCase{"IpAddressTooLongThenInterface", {"-n", "-I", LONG_256, "-V", "VXI1"}, "",
                       UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) {
                         std::strcpy(o.vxiInterface, "VXI1");
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"IpAddressLongestTaken", {"-n", "-I", LONG_255}, "", UPDATE_REVISIONS, "",
                       0,
                       [](UpdateOptions& o) {
                         std::strcpy(o.vxiInterface, "IP");
                         std::strcpy(o.ipAddress, LONG_255.c_str());
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"UsageStopComesFirst", {"-n", "-u", "-V", LONG_48, "-L", "999"}, "", "",
                       USAGE, 0, std::nullopt},
        TranscriptCase{"AddressAboveRange", {"-n", "-L", "256"}, "", "",
                       "Error: invalid logical address 256, must be 0 thru 255\n", -1,
                       std::nullopt},
        TranscriptCase{"AddressBelowRange", {"-L-1"}, "\n", CLOSING_PROMPT,
                       "Error: invalid logical address -1, must be 0 thru 255\n", -1,
                       std::nullopt},
        // 2^32 + 128 must not wrap around to the default address, nor be shown clamped.
        TranscriptCase{"AddressDoesNotWrap", {"-n", "-L", "4294967424"}, "", "",
                       "Error: invalid logical address 4294967424, must be 0 thru 255\n", -1,
                       std::nullopt},
        // Text that is no number is refused as typed, never read as address 0
        // (the slot-0 controller); blanks around a number do not count.
        TranscriptCase{"AddressNotANumber", {"-n", "-L", "abc"}, "", "",
                       "Error: invalid logical address abc, must be 0 thru 255\n", -1,
                       std::nullopt},
        TranscriptCase{"AddressWithTrailingLetters", {"-n", "-L", "12x"}, "", "",
                       "Error: invalid logical address 12x, must be 0 thru 255\n", -1,
                       std::nullopt},
        TranscriptCase{"AddressEmpty", {"-n", "-L", ""}, "", "",
                       "Error: invalid logical address , must be 0 thru 255\n", -1,
                       std::nullopt},
        TranscriptCase{"AddressWithBlanksTaken", {"-n", "-L", " 64 "}, "", UPDATE_REVISIONS, "",
                       0,
                       [](UpdateOptions& o) {
                         o.logicalAddress = 64;
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"RefusedAddressReplacedByLaterOne", {"-n", "-L", "abc", "-L", "7"}, "",
                       UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) {
                         o.logicalAddress = 7;
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"TypedAddressNotANumberRefusedAsTyped", {}, "\nl28\n\n",
                       UPDATE_REVISIONS + "Enter interface [VXI0]: VXI0\n"
                                          "Enter device address [128]: l28\n" + CLOSING_PROMPT,
                       "Error: invalid logical address l28, must be 0 thru 255\n", -1,
                       std::nullopt},
        TranscriptCase{"AddressLimitsTaken", {"-n", "-L", "255"}, "", UPDATE_REVISIONS, "", 0,
                       [](UpdateOptions& o) {
                         o.logicalAddress = 255;
                         o.nonInteractive = 1;
                       }},
        TranscriptCase{"TypedAddressRefusedAfterItsEcho", {}, "\n256\n\n",
                       UPDATE_REVISIONS + "Enter interface [VXI0]: VXI0\n"
                                          "Enter device address [128]: 256\n" + CLOSING_PROMPT,
                       "Error: invalid logical address 256, must be 0 thru 255\n", -1,
                       std::nullopt}),
    caseName);

TEST(ProgramName, IsArgumentZeroAfterItsLastSlashOnly) {
  EXPECT_EQ(runProgramNamed("./build/q7", {"-u", "-n"}, "").err, usageText("q7"));
  EXPECT_EQ(runProgramNamed("C:\\vxi\\q7.exe", {"-u", "-n"}, "").err,
            usageText("C:\\vxi\\q7.exe"));
}

// The session reads its answers from the same input, after the prompts.
TEST(Session, AsksItsQuestionsAfterThePrompts) {
  int32_t answer = -1;
  ProgramRun run = runProgram({"-V", "VXI5"}, "\n\ny\n\nleft", [&answer](UpdateOptions*) {
    answer = askQuestion(AnswerDefault::no, "Program new ROM segments now (y/n)[n]? ");
    return 0;
  });
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(run.out, UPDATE_REVISIONS + devicePrompts("VXI5", "VXI5", "128", "128") +
                         "Program new ROM segments now (y/n)[n]? " + CLOSING_PROMPT);
  EXPECT_EQ(run.inputLeft, "left");
}

}  // namespace
