// Message services: the host side of the module's message server. Every
// request is one LWF frame whose tag selects the module's handler; the module
// answers each with one frame on the same channel.
//
// Request bodies: strings are their characters and one zero byte; 32-bit
// integers are big-endian (htonl). Bodies go out in byte-stream mode, so the
// module reads them byte for byte; replies are read in word mode, so a reply
// word arrives as a host-order integer.
//
// Results: -1 for a failure found on the host (nothing sent after it, a
// message on standard error first), otherwise the module's reply word, which
// callers judge (a negative result of a command is a failure). The "no
// response, time out" lines go to standard output.
//
// Not reentrant: the request and reply buffers and the command reply wait
// are process-wide, and one exchange runs at a time.
#pragma once

#include <cstdint>

#include "lwf/lwf.h"

// Request tags.
constexpr int32_t MSG_TAG_ROM_REVISIONS = 0x2B;
constexpr int32_t MSG_TAG_EMPTY = 0x5F;
constexpr int32_t MSG_TAG_SELF_TEST = 0x60;
constexpr int32_t MSG_TAG_DOWNLOAD = 0x68;
constexpr int32_t MSG_TAG_COMMAND = 0x77;
constexpr int32_t MSG_TAG_FILE_SIZE = 0x78;
constexpr int32_t MSG_TAG_FILE_REMOVE = 0x79;  // also unloads an object module
constexpr int32_t MSG_TAG_FILE_READ = 0x7A;
constexpr int32_t MSG_TAG_FILE_WRITE = 0x7B;
constexpr int32_t MSG_TAG_REBOOT = 0x7D;

constexpr int32_t MSG_BUFFER_SIZE = 4096;
constexpr int32_t MSG_REPLY_WAIT = 10;        // seconds, every request but command execution
constexpr int32_t MSG_MAX_FILE_NAME = 40;     // characters of a name in the module
constexpr int32_t MSG_MAX_PARAMETERS = 10;    // typed pairs of one command
constexpr int32_t MSG_DOWNLOAD_STACK_SIZE = 2000;
constexpr int32_t MSG_ROM_REVISION_AREA = 64;
// Seconds q7340MsgSync waits: the longest a command of an earlier exchange
// may still run (the command reply wait of 60 s), and the reply wait after it.
constexpr int32_t MSG_SYNC_WAIT = 70;

// Process-wide state of the message services.
extern uint8_t msgBufOut[MSG_BUFFER_SIZE];  // bodies built in place
extern uint8_t msgBufIn[MSG_BUFFER_SIZE];   // every reply of q7340MsgSendWait
extern int32_t msgCmdTimeout;               // seconds; 0 at start: commands do not wait
extern uint8_t romRevBuf[MSG_ROM_REVISION_AREA];
extern int32_t msgTagIn;                    // tag of the last reply taken
extern int32_t payloadInLen;                // bytes of the last reply taken
extern const void* payload_p;               // the file-read reply, in place
extern int32_t msgReplyOwed;                // 1: a reply of an earlier exchange may still come

// ---- Requests and command execution ---------------------------------------

// Sends one request and waits up to waitSeconds (strictly greater runs out)
// for its reply, known by the request's tag (frames of other tags are stale
// replies, dropped with a line on standard error): -1 when the send failed or
// no reply came; the reply's value when it is 4 bytes; otherwise the last
// lwf_read result (0 after a reply of another length). A wait of 0 sends and
// returns 0 at once; the reply still to come is then owed, and the next
// request makes the channel quiet first.
int32_t q7340MsgSendWait(LwfChannel* channel, int32_t tag, const void* body, int32_t length,
                         int32_t waitSeconds);

// One typed parameter of a command: type 'I' decimal integer, 'S' string,
// 'L' name of a module symbol whose address is passed.
struct MsgParameter {
  const char* type;
  const char* value;
};

// Executes a named module function with the parameters of a list ended by an
// entry whose type is null (a null list: no parameters); at most ten pairs
// are looked at. Returns the function's result, or -1. "reboot" is sent
// without waiting for a reply.
int32_t q7340MsgCmdXeq(LwfChannel* channel, const char* name, const MsgParameter* parameters);
int32_t q7340MsgCmdTimeoutSet(int32_t seconds);
int32_t q7340MsgCmdTimeoutGet();

// Asks the module to reboot, then waits 1 s and up to limitSeconds for its
// ready bit: 0 when it came back, negative otherwise. A limit of 0 returns
// right after the send.
int32_t q7340MsgReboot(LwfChannel* channel, int32_t limitSeconds);

// A request without body (tag 0x5F); the reply word.
int32_t q7340MsgEmpty(LwfChannel* channel);

// Makes sure that no reply of an earlier exchange, of this run or of a run
// that was killed while the module worked on its request, is still to come:
// sends the empty request (which no other exchange uses) and waits up to
// MSG_SYNC_WAIT seconds for its reply, dropping the stale replies before it.
// 0, or -1 (after "q7340MsgSync: ERROR no response, time out" on standard
// output when nothing came).
int32_t q7340MsgSync(LwfChannel* channel);

// ---- Files in the module ----------------------------------------------------

// Writes a whole file (name at most 40 characters); the reply word, 0 on success.
int32_t q7340MsgFilePut(LwfChannel* channel, const char* name, const void* data, int32_t length);
// Reads a whole file into destination: the bytes written (the size rounded up
// to 4) or -1; *fileSize gets the exact size (0 until known).
int32_t q7340MsgFileGet(LwfChannel* channel, const char* name, void* destination,
                        int32_t capacity, int32_t* fileSize);
int32_t q7340MsgFileGetSize(LwfChannel* channel, const char* name);
int32_t q7340MsgRm(LwfChannel* channel, const char* name);

// ---- Object modules ---------------------------------------------------------

// Downloads an object module kept in memory under moduleName (at most 40
// characters) and starts entryName as a task; the reply word, 0 on success.
int32_t q7340MsgBufDnldGo(LwfChannel* channel, const void* object, int32_t length,
                          const char* moduleName, const char* entryName, int32_t priority,
                          int32_t param1);
// The same with the object module read from a file of the host.
int32_t q7340MsgDnldGo(LwfChannel* channel, const char* path, const char* moduleName,
                       const char* entryName, int32_t priority, int32_t param1);
// Sets the command reply wait to 60 s, then downloads the carried
// "dldmsgLib.out" and starts "dldmsgLibInit": 0, or -1.
int32_t q7340MsgLibLoad(LwfChannel* channel);
int32_t q7340MsgUnld(LwfChannel* channel, const char* moduleName);
int32_t q7340MsgBist(LwfChannel* channel, int32_t param1);

// ---- ROM revisions ----------------------------------------------------------

// The module's revision of ROM segments 0 to count - 1 into revisions: 0, or
// -1 with revisions untouched. With an operating system of 120000 or more
// (unsigned) and count of at least 5, entry 4 becomes the self-test revision
// the module reports.
int32_t getRomRevs(LwfChannel* channel, int32_t* revisions, int32_t count);
