// Files in the module: write bodies and their padding, reads with sizes the
// module reports (sound and unsound), size and remove requests, name limits.
#include "tests/msg/msg_fixture.h"

namespace {

// ---- q7340MsgFilePut --------------------------------------------------------

struct PutCase {
  const char* what;
  size_t nameLength;
  size_t dataLength;
  size_t bodyLength;
  size_t padding;  // bytes 0x0A at the end
};
void PrintTo(const PutCase& c, std::ostream* os) { *os << c.what; }


class FilePutTest : public MsgTest, public ::testing::WithParamInterface<PutCase> {};

TEST_P(FilePutTest, BodyIsLengthNameBytesAndLineFeedPadding) {
  start();
  loadLibraries();
  const PutCase& put = GetParam();
  std::string name(put.nameLength, 'f');
  std::string data;
  for (size_t i = 0; i < put.dataLength; ++i) data += static_cast<char>(0xF0 + i);
  EXPECT_EQ(q7340MsgFilePut(channel, name.c_str(), data.data(),
                            static_cast<int32_t>(data.size())),
            0);
  SentRequest request = onlySent();
  EXPECT_EQ(request.tag, MSG_TAG_FILE_WRITE);
  EXPECT_EQ(request.body.size(), put.bodyLength);
  EXPECT_EQ(request.body, beWord(static_cast<int32_t>(put.dataLength)) + z(name) + data +
                              std::string(put.padding, '\x0A'));
  const auto& files = module().state().files;
  ASSERT_EQ(files.count(name), 1u);
  EXPECT_EQ(std::string(files.at(name).begin(), files.at(name).end()), data);
  EXPECT_EQ(out->text() + err->text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, FilePutTest,
    ::testing::Values(PutCase{"Name40Bytes3", 40, 3, 48, 0}, PutCase{"Name40Bytes4", 40, 4, 52, 3},
                      PutCase{"Name10Bytes0", 10, 0, 16, 1}, PutCase{"Name1Bytes1", 1, 1, 8, 1},
                      PutCase{"Name2Bytes5", 2, 5, 12, 0}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(MsgTest, FilePutRefusesANameOf41Characters) {
  start();
  std::string name(41, 'f');
  EXPECT_EQ(q7340MsgFilePut(channel, name.c_str(), "abc", 3), -1);
  EXPECT_EQ(err->text(), "q7340MsgFilePut: ERROR target filename too long, 41 \n");
  EXPECT_TRUE(sent().empty());
}

TEST_F(MsgTest, FilePutReturnsTheReplyWordUnchanged) {
  start();  // no library: the module does not answer, the injected word does
  module().queueFrame16(MSG_TAG_FILE_WRITE, {static_cast<uint32_t>(-4)});
  EXPECT_EQ(q7340MsgFilePut(channel, "a", "x", 1), -4);
  EXPECT_EQ(out->text() + err->text(), "");
}

// ---- q7340MsgFileGet --------------------------------------------------------

// Guard bytes around the destination show anything written past it.
struct Destination {
  static constexpr size_t GUARD = 16;
  explicit Destination(size_t capacity) : bytes(capacity + 2 * GUARD, '\xEE') {}
  void* data() { return bytes.data() + GUARD; }
  std::string written(size_t count) const { return bytes.substr(GUARD, count); }
  bool guardsIntact(size_t capacity) const {
    return bytes.substr(0, GUARD) == std::string(GUARD, '\xEE') &&
           bytes.substr(GUARD + capacity) == std::string(GUARD, '\xEE');
  }
  std::string bytes;
};

TEST_F(MsgTest, FileGetOfFiveBytesWritesEightAndStoresFive) {
  start();
  loadLibraries();
  ASSERT_EQ(q7340MsgFilePut(channel, "five.bin", "ABCDE", 5), 0);
  firstRequest = module().state().frames.size();
  Destination destination(8);
  int32_t size = -1;
  EXPECT_EQ(q7340MsgFileGet(channel, "five.bin", destination.data(), 8, &size), 8);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(destination.written(5), "ABCDE");
  EXPECT_TRUE(destination.guardsIntact(8));
  SentRequest request = onlySent();
  EXPECT_EQ(request.tag, MSG_TAG_FILE_READ);
  EXPECT_EQ(request.body, z("five.bin") + std::string(3, '\0'));  // the channel's rounding
  EXPECT_EQ(out->text() + err->text(), "");
  EXPECT_EQ(lwf_ready(channel), 0);
}

struct GetRefusalCase {
  const char* what;
  std::vector<uint32_t> reply;  // injected as the read's reply
  int32_t capacity;
  int32_t storedSize;
};
void PrintTo(const GetRefusalCase& c, std::ostream* os) { *os << c.what; }


class FileGetRefusalTest : public MsgTest, public ::testing::WithParamInterface<GetRefusalCase> {};

// Without the module's library the read request goes unanswered, so the
// injected frame is the reply. A frame behind it shows that exactly the
// refused reply was taken off.
TEST_P(FileGetRefusalTest, TakesTheReplyOffAndCopiesNothing) {
  start();
  const GetRefusalCase& refusal = GetParam();
  module().queueFrame16(MSG_TAG_FILE_READ, refusal.reply);
  module().queueFrame16(0x66, {42});
  Destination destination(8);
  int32_t size = -1;
  EXPECT_EQ(q7340MsgFileGet(channel, "file", destination.data(), refusal.capacity, &size), -1);
  EXPECT_EQ(size, refusal.storedSize);
  EXPECT_EQ(err->text(), "q7340MsgFileGet: ERROR reading file, st = 0x0\n");
  EXPECT_EQ(out->text(), "");
  EXPECT_EQ(destination.bytes, Destination(8).bytes);
  uint32_t word = 0;
  int32_t tag = 0, length = 0;
  ASSERT_EQ(lwf_read(channel, 4, &tag, &length, &word, 0), 0);
  EXPECT_EQ(tag, 0x66);
  EXPECT_EQ(word, 42u);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, FileGetRefusalTest,
    ::testing::Values(
        GetRefusalCase{"LargerThanDestination", {0, 9, 1, 2, 3}, 8, 9},
        GetRefusalCase{"EmptyFile", {0, 0, 0}, 8, 0},
        GetRefusalCase{"StatusNotZero", {static_cast<uint32_t>(-7), 0, 0}, 8, 0},
        GetRefusalCase{"SizeBeyondTheReply", {0, 12, 1}, 16, 12},
        GetRefusalCase{"NegativeSize", {0, 0xFFFFFFFC, 1}, 8, -4},
        GetRefusalCase{"RoundingOverflows", {0, 0x7FFFFFFF, 1}, INT32_MAX, INT32_MAX},
        GetRefusalCase{"NegativeCapacity", {0, 4, 1}, -4, 4}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(MsgTest, FileGetOfAReplyShorterThanItsHeaderIsRefused) {
  start();
  module().queueFrame16(MSG_TAG_FILE_READ, {0});
  module().queueFrame16(0x66, {});  // makes the 4-byte reply peekable
  Destination destination(8);
  int32_t size = -1;
  EXPECT_EQ(q7340MsgFileGet(channel, "file", destination.data(), 8, &size), -1);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(err->text(), "q7340MsgFileGet: ERROR reading file, st = 0x0\n");
  EXPECT_EQ(destination.bytes, Destination(8).bytes);
}

TEST_F(MsgTest, FileGetWithNoReplyTimesOutWithSizeZero) {
  start();
  Destination destination(8);
  int32_t size = -1;
  double begin = elapsedSeconds();
  EXPECT_EQ(q7340MsgFileGet(channel, "file", destination.data(), 8, &size), -1);
  double waited = elapsedSeconds() - begin;
  EXPECT_GT(waited, 10.0);
  EXPECT_LT(waited, 10.01);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(out->text(), "q7340MsgFileGet: ERROR no response, time out\n");
  EXPECT_EQ(err->text(), "");
  // A reply that comes later answers nothing else.
  module().queueFrame16(MSG_TAG_FILE_READ, {static_cast<uint32_t>(-7)});
  EXPECT_EQ(q7340MsgEmpty(channel), 0);
  EXPECT_EQ(err->text(),
            "q7340MsgSync: stale reply (tag=0x7a) dropped, awaiting the reply to 0x5f\n");
}

TEST_F(MsgTest, FileGetReportsAReceiveErrorWithItsCode) {
  start();
  module().queueWords16({0xFFFFFFF8u, MSG_TAG_FILE_READ, 0, 0});  // negative payload size
  Destination destination(8);
  int32_t size = -1;
  EXPECT_EQ(q7340MsgFileGet(channel, "file", destination.data(), 8, &size), -1);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(err->text(),
            "lwf_peek: bad payload (tag=122, size=-8)\n"
            "q7340MsgFileGet: ERROR reading file, st = 0xffffffff\n");
  EXPECT_EQ(destination.bytes, Destination(8).bytes);
}

// ---- name limits of read, size and remove ----------------------------------

enum class NameRequest { Get, Size, Rm };

struct NameCase {
  const char* what;
  NameRequest request;
  size_t nameLength;
  const char* refusal;  // null: sent
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.what; }


class NameLimitTest : public MsgTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameLimitTest, NameFitsOrIsRefused) {
  start();
  loadLibraries();
  const NameCase& limit = GetParam();
  std::string name(limit.nameLength, 'n');
  int32_t size = -1;
  uint8_t destination[8];
  int32_t result = 0;
  switch (limit.request) {
    case NameRequest::Get:
      result = q7340MsgFileGet(channel, name.c_str(), destination, 8, &size);
      break;
    case NameRequest::Size: result = q7340MsgFileGetSize(channel, name.c_str()); break;
    case NameRequest::Rm: result = q7340MsgRm(channel, name.c_str()); break;
  }
  if (limit.refusal != nullptr) {
    EXPECT_EQ(result, -1);
    EXPECT_EQ(err->text(), limit.refusal);
    EXPECT_TRUE(sent().empty());
    return;
  }
  // Sent: the module has no such file. The read reports that as a refused read.
  SentRequest request = onlySent();
  std::string body = z(name);
  body.resize((body.size() + 3) / 4 * 4, '\0');
  EXPECT_EQ(request.body, body);
  if (limit.request == NameRequest::Get) {
    EXPECT_EQ(request.tag, MSG_TAG_FILE_READ);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(err->text(), "q7340MsgFileGet: ERROR reading file, st = 0x0\n");
  } else {
    EXPECT_EQ(request.tag,
              limit.request == NameRequest::Size ? MSG_TAG_FILE_SIZE : MSG_TAG_FILE_REMOVE);
    EXPECT_EQ(result, -7);
    EXPECT_EQ(err->text(), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, NameLimitTest,
    ::testing::Values(
        NameCase{"Get4087", NameRequest::Get, 4087, nullptr},
        NameCase{"Get4088", NameRequest::Get, 4088,
                 "q7340MsgFileGet: ERROR target filename too long, 4088 \n"},
        NameCase{"Size4087", NameRequest::Size, 4087, nullptr},
        NameCase{"Size4088", NameRequest::Size, 4088,
                 "q7340MsgFileGetSize: ERROR target filename too long, 4088 \n"},
        NameCase{"Rm4095", NameRequest::Rm, 4095, nullptr},
        NameCase{"Rm4096", NameRequest::Rm, 4096,
                 "q7340MsgRm: ERROR target filename too long, 4096 \n"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(MsgTest, SizeAndRemoveOfAStoredFile) {
  start();
  loadLibraries();
  ASSERT_EQ(q7340MsgFilePut(channel, "seven.bin", "1234567", 7), 0);
  firstRequest = module().state().frames.size();
  EXPECT_EQ(q7340MsgFileGetSize(channel, "seven.bin"), 7);
  EXPECT_EQ(q7340MsgRm(channel, "seven.bin"), 0);
  EXPECT_EQ(q7340MsgFileGetSize(channel, "seven.bin"), -7);
  std::vector<SentRequest> requests = sent();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].body, z("seven.bin") + std::string(2, '\0'));  // own zero padding
  EXPECT_EQ(module().log().back(), "remove seven.bin");
  EXPECT_EQ(err->text(), "");
}

}  // namespace
