// The message server of the simulated module: which tags are served when,
// downloads, file requests and command execution, all through the registers.
#include <gtest/gtest.h>

#include <random>

#include "common/clock.h"
#include "payload/payload.h"
#include "sim/module/module_codes.h"
#include "sim/module/q7340_module.h"
#include "tests/module/module_driver.h"

using module_test::Body;
using module_test::ModuleDriver;
using module_test::Reply;
using sim::module::ModuleConfig;
using sim::module::Q7340Module;
using namespace sim::module;

namespace {

class ModuleServerTest : public ::testing::Test {
 protected:
  bool virtualClock = (clockUseVirtual(), true);  // before the module powers up
  Q7340Module module{ModuleConfig{}};
  ModuleDriver driver{module};

  // True when the request gets any answer within the host's 10 s.
  bool answered(int32_t tag) {
    Body body;
    body.text("x").pad(0);
    return driver.exchange(tag, body).has_value();
  }
};

TEST_F(ModuleServerTest, TagsAreServedOnlyWhileTheLibraryThatAddsThemIsLoaded) {
  const int32_t fileAndCommandTags[] = {0x77, 0x78, 0x79, 0x7A, 0x7B};
  for (int32_t tag : fileAndCommandTags) EXPECT_FALSE(answered(tag)) << std::hex << tag;
  EXPECT_FALSE(answered(0x2B));
  EXPECT_TRUE(answered(0x5F));
  EXPECT_EQ(module.state().counters.unservedFrames, 6u);

  ASSERT_EQ(driver.download("dldmsgLib.out", "dldmsgLibInit"), 0);
  for (int32_t tag : fileAndCommandTags) EXPECT_TRUE(answered(tag)) << std::hex << tag;
  EXPECT_FALSE(answered(0x2B));

  ASSERT_EQ(driver.download("romupdate.out", "romupdateInit"), 0);
  EXPECT_TRUE(answered(0x2B));
  EXPECT_FALSE(answered(0x42));

  EXPECT_EQ(driver.command("unld", {{"S", "romupdate.out"}}), 0);
  EXPECT_FALSE(answered(0x2B));
  EXPECT_EQ(driver.command("unld", {{"S", "romupdate.out"}}), RESULT_NOT_LOADED);
}

TEST_F(ModuleServerTest, AnUnservedRequestLetsTheHostTimeOut) {
  double start = elapsedSeconds();
  EXPECT_FALSE(driver.exchange(0x77, Body{}.text("reboot"), 10).has_value());
  EXPECT_GT(elapsedSeconds() - start, 10.0);
  EXPECT_TRUE((driver.status() & Q7340Module::STATUS_READY) != 0);  // nothing ran
}

TEST_F(ModuleServerTest, DownloadKeepsTheObjectWithoutTheBodyPadding) {
  driver.loadLibraries();
  const ModuleState& state = module.state();
  ASSERT_EQ(state.loaded.size(), 2u);
  EXPECT_EQ(state.loaded[1].name, "romupdate.out");
  EXPECT_EQ(state.loaded[1].entry, "romupdateInit");
  // 21990 bytes travel padded to 21992; the ELF extent trims them back.
  EXPECT_EQ(state.loaded[1].objectBytes, payloadFind("romupdate.out")->fileSize);
  EXPECT_EQ(state.log, (std::vector<std::string>{
                           "load dldmsgLib.out",
                           "start dldmsgLibInit param1=0 priority=0 stackSize=2000",
                           "load romupdate.out",
                           "start romupdateInit param1=0 priority=0 stackSize=2000"}));
}

TEST_F(ModuleServerTest, RefusedDownloadsAnswerTheirOwnCodeAndLoadNothing) {
  const PayloadRecord* lib = payloadFind("dldmsgLib.out");
  std::vector<uint8_t> object(payloadData(lib), payloadData(lib) + lib->fileSize);
  auto withByte = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> changed = object;
    changed[at] = value;
    return changed;
  };
  auto task = [&](uint32_t param1, uint32_t priority, uint32_t stackSize) {
    Body b;
    b.word(param1).word(priority).word(stackSize).text("x.out").text("dldmsgLibInit");
    b.raw(object.data(), object.size()).pad(0);
    return b;
  };
  auto body = [](const std::string& name, const std::string& entry, const std::vector<uint8_t>& bytes) {
    Body b;
    b.word(0).word(0).word(2000).text(name).text(entry).raw(bytes.data(), bytes.size()).pad(0);
    return b;
  };
  Body unterminated;
  unterminated.word(0).word(0).word(2000).raw("dldmsgLib.out", 13).pad(0x41);
  const std::vector<uint8_t> truncated(object.begin(), object.begin() + 100);
  const PayloadRecord* image = payloadFind("vxiga.hex");
  const std::vector<uint8_t> srecords(payloadData(image), payloadData(image) + 4096);
  struct Case {
    const char* what;
    Body body;
    int32_t result;
  } cases[] = {
      {"header words only", Body{}.word(0).word(0), RESULT_MALFORMED_BODY},
      {"name without terminator", unterminated, RESULT_MALFORMED_BODY},
      {"name of 41 characters", body(std::string(41, 'n'), "dldmsgLibInit", object), RESULT_NAME_TOO_LONG},
      {"S-records, not an object", body("x.out", "dldmsgLibInit", srecords), RESULT_BAD_OBJECT},
      {"little-endian ELF", body("x.out", "dldmsgLibInit", withByte(5, 1)), RESULT_BAD_OBJECT},
      {"not PowerPC", body("x.out", "dldmsgLibInit", withByte(19, 3)), RESULT_BAD_OBJECT},
      {"section headers cut off", body("x.out", "dldmsgLibInit", truncated), RESULT_BAD_OBJECT},
      {"unknown entry point", body("x.out", "noSuchInit", object), RESULT_NO_ENTRY_POINT},
      {"local file symbol as entry", body("x.out", "dldmsgLib.c", object), RESULT_NO_ENTRY_POINT},
      // Host mistakes in the task's words.
      {"param1 1000 swapped into the priority", task(100, 1000, 2000), RESULT_BAD_TASK},
      {"negative priority", task(0, static_cast<uint32_t>(-1), 2000), RESULT_BAD_TASK},
      {"words in reverse order", task(2000, 0, 0), RESULT_BAD_TASK},
  };
  for (const Case& c : cases)
    EXPECT_EQ(driver.exchangeWord(0x68, c.body), c.result) << c.what;
  EXPECT_TRUE(module.state().loaded.empty());
  EXPECT_FALSE(answered(0x77));
}

TEST_F(ModuleServerTest, FileWriteReadSizeRemoveRoundTrip) {
  driver.loadLibraries();
  const char data[] = {'h', 'e', 'l', 'l', 'o'};
  ASSERT_EQ(driver.putFile("greeting.txt", data, 5), 0);
  ASSERT_EQ(driver.putFile("empty.txt", data, 0), 0);
  EXPECT_EQ(module.state().files.at("greeting.txt"), std::vector<uint8_t>(data, data + 5));

  EXPECT_EQ(driver.exchangeWord(0x78, Body{}.text("greeting.txt").pad(0)), 5);
  EXPECT_EQ(driver.exchangeWord(0x78, Body{}.text("empty.txt").pad(0)), 0);
  std::optional<Reply> read = driver.exchange(0x7A, Body{}.text("greeting.txt"));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->size, 16);
  ASSERT_EQ(read->payload.size(), 4u);
  EXPECT_EQ(read->payload[0], 0u);
  EXPECT_EQ(read->payload[1], 5u);
  std::vector<uint8_t> bytes = read->bytes();
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 8, bytes.end()),
            (std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', 0, 0, 0}));

  EXPECT_EQ(driver.exchangeWord(0x79, Body{}.text("greeting.txt").pad(0)), 0);
  EXPECT_EQ(driver.exchangeWord(0x79, Body{}.text("greeting.txt").pad(0)), RESULT_NO_FILE);
  EXPECT_EQ(driver.exchangeWord(0x78, Body{}.text("greeting.txt").pad(0)), RESULT_NO_FILE);
  read = driver.exchange(0x7A, Body{}.text("greeting.txt"));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->payload, (std::vector<uint32_t>{static_cast<uint32_t>(RESULT_NO_FILE)}));
  // A remove of a loaded module's name unloads it.
  EXPECT_EQ(driver.exchangeWord(0x79, Body{}.text("romupdate.out").pad(0)), 0);
  EXPECT_FALSE(answered(0x2B));
}

TEST_F(ModuleServerTest, MalformedFileWritesAreRefused) {
  driver.loadLibraries();
  struct Case {
    const char* what;
    Body body;
    int32_t result;
  } cases[] = {
      {"length beyond the body", Body{}.word(9).text("a.txt").raw("abc", 3).pad(0x0A),
       RESULT_LENGTH_BEYOND_BODY},
      {"name of 41 characters", Body{}.word(1).text(std::string(41, 'f')).raw("a", 1).pad(0x0A),
       RESULT_NAME_TOO_LONG},
      {"name without terminator", Body{}.word(0).raw("abc", 3).pad(0x0A), RESULT_MALFORMED_BODY},
      {"no length word", Body{}.raw("ab", 2), RESULT_MALFORMED_BODY},
      // Host mistakes: what follows the counted bytes is not line feeds up to a
      // whole word.
      {"length word one short", Body{}.word(2).text("a.txt").raw("abc", 3).pad(0x0A),
       RESULT_BAD_PADDING},
      {"padded with zeros", Body{}.word(3).text("a.txt").raw("abc", 3).pad(0), RESULT_BAD_PADDING},
      {"a whole word of padding on an aligned body",
       Body{}.word(1).text("ab.txt").raw("x", 1).raw("\n\n\n\n", 4), RESULT_BAD_PADDING},
      {"padding past the next whole word",
       Body{}.word(3).text("a.txt").raw("abc", 3).raw("\n\n\n\n\n\n\n", 7), RESULT_BAD_PADDING},
  };
  for (const Case& c : cases) EXPECT_EQ(driver.exchangeWord(0x7B, c.body), c.result) << c.what;
  EXPECT_TRUE(module.state().files.empty());
}

TEST_F(ModuleServerTest, CommandParametersAreTypedAndCheckedBeforeTheCall) {
  ModuleConfig config;
  config.flash = newerGenerationFlash();
  config.flash.selftestRecorded = 777;
  Q7340Module newer(config);
  ModuleDriver host(newer);
  host.loadLibraries();
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  Pairs eleven(11, {"I", "1"});
  struct Case {
    const char* what;
    const char* name;
    Pairs pairs;
    int32_t result;
  } cases[] = {
      {"unknown function", "noSuchFunction", {}, RESULT_ERROR},
      {"no parameters", "q7340FlashGetSelftestRev", {}, 777},
      {"known symbol", "q7340FlashGetSelftestRev", {{"L", "romupdateInit"}}, 777},
      {"unknown symbol", "q7340FlashGetSelftestRev", {{"L", "noSuchSymbol"}}, RESULT_ERROR},
      {"lower-case type", "q7340FlashGetSelftestRev", {{"i", "5"}}, RESULT_ERROR},
      {"not decimal", "q7340FlashProgSelftestRev", {{"I", "12x"}}, RESULT_ERROR},
      {"beyond 32 bits", "q7340FlashProgSelftestRev", {{"I", "2147483648"}}, RESULT_ERROR},
      {"empty value", "q7340FlashProgSelftestRev", {{"I", ""}}, RESULT_ERROR},
      {"eleven pairs", "q7340FlashProgSelftestRev", eleven, RESULT_ERROR},
      {"string where an integer is wanted", "q7340FlashProgSelftestRev", {{"S", "10900"}}, RESULT_ERROR},
      {"long type text", "q7340FlashProgSelftestRev", {{"Int", "-5"}}, RESULT_OK},
      {"recorded value", "q7340FlashGetSelftestRev", {}, -5},
      {"unld without its name", "unld", {}, RESULT_ERROR},
  };
  for (const Case& c : cases) EXPECT_EQ(host.command(c.name, c.pairs), c.result) << c.what;
}

TEST_F(ModuleServerTest, RebootCommandGetsNoAnswer) {
  driver.loadLibraries();
  EXPECT_FALSE(driver.command("reboot", {}, 1).has_value());
  EXPECT_EQ(driver.status() & Q7340Module::STATUS_READY, 0);
  EXPECT_EQ(module.log().back(), "reboot");
}

// Damaged bodies and objects, from a fixed seed: the module answers or stays
// silent, never crashes (the sanitizer build watches the reads).
TEST_F(ModuleServerTest, RandomBodiesAndDamagedObjectsAreSurvived) {
  std::mt19937 random(20240611);
  const PayloadRecord* lib = payloadFind("dldmsgLib.out");
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t> object(payloadData(lib), payloadData(lib) + lib->fileSize);
    for (int flips = 0; flips < 4; ++flips) object[random() % 700] = static_cast<uint8_t>(random());
    Body download;
    download.word(0).word(0).word(2000).text("lib.out").text("dldmsgLibInit");
    download.raw(object.data(), random() % 2 ? object.size() : random() % 700).pad(0);
    std::optional<int32_t> result = driver.exchangeWord(0x68, download);
    ASSERT_TRUE(result.has_value());
    EXPECT_LE(*result, 0);

    const int32_t tags[] = {0x77, 0x78, 0x79, 0x7A, 0x7B, 0x2B, 0x60};
    Body body;
    std::vector<uint8_t> bytes(random() % 64);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random() % 4 == 0 ? 0 : random());
    body.raw(bytes.data(), bytes.size());
    (void)driver.exchange(tags[random() % 7], body);
  }
  EXPECT_EQ(driver.exchangeWord(0x5F, Body{}), 0);
}

}  // namespace
