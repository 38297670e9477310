// Object-module downloads from memory and from host files, the load of the
// module-side message library, unload and self test.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>

#include "tests/msg/msg_fixture.h"

namespace {

// The header of a download body: param1, priority, stackSize 2000, the names.
std::string downloadHeader(int32_t param1, int32_t priority, const std::string& moduleName,
                           const std::string& entryName) {
  return beWord(param1) + beWord(priority) + beWord(2000) + z(moduleName) + z(entryName);
}

std::string padded(std::string body) {
  body.resize((body.size() + 3) / 4 * 4, '\0');
  return body;
}

// A directory of its own for host files, removed with its files afterwards.
class HostFiles {
 public:
  HostFiles() {
    char pattern[] = "/tmp/q7msgXXXXXX";
    directory_ = mkdtemp(pattern);
  }
  ~HostFiles() {
    for (const std::string& path : paths_) std::remove(path.c_str());
    rmdir(directory_.c_str());
  }
  std::string write(const std::string& name, const std::string& content) {
    std::string path = directory_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    paths_.push_back(path);
    return path;
  }
  std::string fifo(const std::string& name) {
    std::string path = directory_ + "/" + name;
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    paths_.push_back(path);
    return path;
  }

 private:
  std::string directory_;
  std::vector<std::string> paths_;
};

std::string carried(const char* name) {
  const PayloadRecord* record = payloadFind(name);
  EXPECT_NE(record, nullptr);
  if (record == nullptr) return "";
  return std::string(reinterpret_cast<const char*>(payloadData(record)), record->fileSize);
}

// ---- q7340MsgBufDnldGo ------------------------------------------------------

TEST_F(MsgTest, DownloadBodyIsNotLimitedToTheRequestBuffer) {
  start();
  std::string object(4097, '\0');
  for (size_t i = 0; i < object.size(); ++i) object[i] = static_cast<char>(i * 7);
  // Not an object the module can load: its answer comes back unchanged.
  EXPECT_EQ(q7340MsgBufDnldGo(channel, object.data(), 4097, "mod01", "go", 7, -3), -5);
  SentRequest request = onlySent();
  EXPECT_EQ(request.tag, MSG_TAG_DOWNLOAD);
  EXPECT_EQ(request.body.size(), 4120u);  // 12 + 6 + 3 + 4097, 2 bytes of padding
  EXPECT_EQ(request.body, downloadHeader(-3, 7, "mod01", "go") + object + std::string(2, '\0'));
  EXPECT_EQ(out->text() + err->text(), "");
}

TEST_F(MsgTest, DownloadModuleNameLimitIsFortyCharacters) {
  start();
  std::string forty(40, 'm');
  EXPECT_EQ(q7340MsgBufDnldGo(channel, "\x7F" "ELF", 4, forty.c_str(), "e", 0, 0), -5);
  EXPECT_EQ(onlySent().body, padded(downloadHeader(0, 0, forty, "e") + "\x7F" "ELF"));
  std::string fortyOne(41, 'm');
  EXPECT_EQ(q7340MsgBufDnldGo(channel, "\x7F" "ELF", 4, fortyOne.c_str(), "e", 0, 0), -1);
  EXPECT_EQ(err->text(), "q7340MsgBufDnldGo: ERROR target filename too long, 41 \n");
  EXPECT_EQ(sent().size(), 1u);
}

TEST_F(MsgTest, LibraryLoadSendsTheCarriedLibraryAndSetsTheCommandWait) {
  start();
  EXPECT_EQ(q7340MsgCmdTimeoutGet(), 0);
  EXPECT_EQ(q7340MsgLibLoad(channel), 0);
  EXPECT_EQ(q7340MsgCmdTimeoutGet(), 60);
  EXPECT_EQ(onlySent().body,
            padded(downloadHeader(0, 0, "dldmsgLib.out", "dldmsgLibInit") + carried("dldmsgLib.out")));
  EXPECT_EQ(module().log(),
            (std::vector<std::string>{"load dldmsgLib.out",
                                      "start dldmsgLibInit param1=0 priority=0 stackSize=2000"}));
}

TEST_F(MsgTest, LibraryLoadSetsTheCommandWaitEvenWhenTheDownloadFails) {
  sim::module::ModuleConfig config;
  config.faults.silentTags = {MSG_TAG_DOWNLOAD};
  start(config);
  EXPECT_EQ(q7340MsgLibLoad(channel), -1);
  EXPECT_EQ(q7340MsgCmdTimeoutGet(), 60);
  EXPECT_EQ(out->text(), "ERROR: no response, time out\n");
}

TEST_F(MsgTest, LibraryLoadFailsOnANonZeroReply) {
  start();
  // A word already waiting answers the download (tags are not compared).
  module().queueFrame16(MSG_TAG_DOWNLOAD, {static_cast<uint32_t>(-6)});
  EXPECT_EQ(q7340MsgLibLoad(channel), -1);
  EXPECT_EQ(q7340MsgCmdTimeoutGet(), 60);
}

// ---- q7340MsgDnldGo ---------------------------------------------------------

TEST_F(MsgTest, HostFileDownloadOfAMissingPath) {
  start();
  EXPECT_EQ(q7340MsgDnldGo(channel, "/nonexistent/q7/romupdate.out", "m", "e", 0, 0), -1);
  EXPECT_EQ(err->text(), "q7340MsgDnldGo: ERROR hostfile, /nonexistent/q7/romupdate.out, not found\n");
  EXPECT_TRUE(sent().empty());
}

TEST_F(MsgTest, HostFileDownloadOfAnEmptyFileSendsTheHeaderOnly) {
  start();
  HostFiles files;
  std::string path = files.write("empty.out", "");
  EXPECT_EQ(q7340MsgDnldGo(channel, path.c_str(), "empty.out", "init", 3, 9), -5);
  EXPECT_EQ(onlySent().body, downloadHeader(9, 3, "empty.out", "init") + std::string(1, '\0'));
  EXPECT_EQ(err->text(), "");
}

TEST_F(MsgTest, HostFileDownloadSendsWhatTheMemoryDownloadSends) {
  start();
  ASSERT_EQ(q7340MsgLibLoad(channel), 0);
  firstRequest = module().state().frames.size();
  HostFiles files;
  std::string object = carried("romupdate.out");
  std::string path = files.write("romupdate.out", object);
  EXPECT_EQ(q7340MsgDnldGo(channel, path.c_str(), "romupdate.out", "romupdateInit", 0, 0), 0);
  ASSERT_EQ(q7340MsgUnld(channel, "romupdate.out"), 0);
  EXPECT_EQ(q7340MsgBufDnldGo(channel, object.data(), static_cast<int32_t>(object.size()),
                              "romupdate.out", "romupdateInit", 0, 0),
            0);
  std::vector<SentRequest> requests = sent();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].body,
            padded(downloadHeader(0, 0, "romupdate.out", "romupdateInit") + object));
  EXPECT_EQ(requests[0].body, requests[2].body);
  const std::string started = "start romupdateInit param1=0 priority=0 stackSize=2000";
  EXPECT_EQ(module().log(),
            (std::vector<std::string>{"load dldmsgLib.out",
                                      "start dldmsgLibInit param1=0 priority=0 stackSize=2000",
                                      "load romupdate.out", started, "unload romupdate.out",
                                      "load romupdate.out", started}));
  EXPECT_EQ(err->text(), "");
}

// The module starts the entry point with the task parameters as the host
// passed them: a host that swapped param1 and priority shows in the log.
TEST_F(MsgTest, BothDownloadsStartTheTaskWithTheGivenParameters) {
  start();
  HostFiles files;
  std::string object = carried("romupdate.out");
  std::string path = files.write("romupdate.out", object);
  EXPECT_EQ(q7340MsgDnldGo(channel, path.c_str(), "first.out", "romupdateInit", 100, 7), 0);
  EXPECT_EQ(q7340MsgBufDnldGo(channel, object.data(), static_cast<int32_t>(object.size()),
                              "second.out", "romupdateInit", 255, -40),
            0);
  EXPECT_EQ(module().log(),
            (std::vector<std::string>{"load first.out",
                                      "start romupdateInit param1=7 priority=100 stackSize=2000",
                                      "load second.out",
                                      "start romupdateInit param1=-40 priority=255 stackSize=2000"}));
}

// A host file that gives more bytes than its status said (a pipe, or a file
// that grew in between) is read only as far as the block keeps room for the
// padding; a file that holds more is not read to its end.
struct GrownFileCase {
  const char* what;
  std::string content;  // what the pipe gives; its status says 0 bytes
  bool sent;
};
void PrintTo(const GrownFileCase& c, std::ostream* os) { *os << c.what; }


class GrownFileTest : public MsgTest, public ::testing::WithParamInterface<GrownFileCase> {};

TEST_P(GrownFileTest, BodyStaysWithinItsBlock) {
  start();
  std::signal(SIGPIPE, SIG_IGN);
  HostFiles files;
  std::string path = files.fifo("grows.out");
  const std::string& content = GetParam().content;
  std::thread writer([&] {
    int fd = open(path.c_str(), O_WRONLY);
    if (fd >= 0) {
      (void)::write(fd, content.data(), content.size());
      close(fd);
    }
  });
  // "mod" and "go": a block of 35 bytes, 19 of them the header.
  int32_t result = q7340MsgDnldGo(channel, path.c_str(), "mod", "go", 0, 0);
  writer.join();
  if (GetParam().sent) {
    EXPECT_EQ(result, -5);  // not an object the module can load
    EXPECT_EQ(onlySent().body, padded(downloadHeader(0, 0, "mod", "go") + content));
    EXPECT_EQ(err->text(), "");
  } else {
    EXPECT_EQ(result, -1);
    EXPECT_EQ(err->text(), "q7340MsgDnldGo: ERROR reading target file\n");
    EXPECT_TRUE(sent().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pipes, GrownFileTest,
    ::testing::Values(GrownFileCase{"TwelveBytes", "0123456789AB", true},
                      GrownFileCase{"FifteenBytes", "0123456789ABCDE", false},
                      GrownFileCase{"SixteenBytes", "0123456789ABCDEF", false}),
    [](const auto& info) { return std::string(info.param.what); });

// ---- q7340MsgUnld and q7340MsgBist -----------------------------------------

TEST_F(MsgTest, UnloadBodyIsTheNameWithZeroPadding) {
  start();
  loadLibraries();
  EXPECT_EQ(q7340MsgUnld(channel, "romupdate.out"), 0);
  SentRequest request = onlySent();
  EXPECT_EQ(request.tag, MSG_TAG_FILE_REMOVE);
  EXPECT_EQ(request.body, z("romupdate.out") + std::string(2, '\0'));
  EXPECT_EQ(module().log().back(), "unload romupdate.out");
  EXPECT_EQ(q7340MsgUnld(channel, "romupdate.out"), -7);  // gone
}

TEST_F(MsgTest, UnloadNameMustFitTheRequestBuffer) {
  start();
  std::string name(4096, 'u');
  EXPECT_EQ(q7340MsgUnld(channel, name.c_str()), -1);
  EXPECT_EQ(err->text(), "q7340MsgUnld: ERROR object module name too long, 4096 \n");
  EXPECT_TRUE(sent().empty());
  name.pop_back();
  module().queueFrame16(MSG_TAG_FILE_REMOVE, {static_cast<uint32_t>(-7)});
  EXPECT_EQ(q7340MsgUnld(channel, name.c_str()), -7);
  EXPECT_EQ(onlySent().body, z(name));
}

TEST_F(MsgTest, SelfTestBodyIsParam1) {
  start();
  EXPECT_EQ(q7340MsgBist(channel, 0x01020304), 0);
  SentRequest request = onlySent();
  EXPECT_EQ(request.tag, MSG_TAG_SELF_TEST);
  EXPECT_EQ(request.body, std::string("\x01\x02\x03\x04", 4));
}

TEST_F(MsgTest, EmptyRequestHasNoBody) {
  start();
  EXPECT_EQ(q7340MsgEmpty(channel), 0);
  SentRequest request = onlySent();
  EXPECT_EQ(request.tag, MSG_TAG_EMPTY);
  EXPECT_EQ(request.body, "");
}

}  // namespace
