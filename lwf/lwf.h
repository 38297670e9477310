// LWF channel: the host's end of a framed message channel to the module,
// through FIFO registers in the module's A16 register block.
//
// A frame is a 32-bit payloadSize (bytes, a multiple of 4), a 32-bit tag and
// payloadSize / 4 payload words. On the host the header words are host-order
// integers; a payload is handed over in one of two data widths per call:
//   4  byte-stream mode: the caller's bytes keep their order end to end (the
//      bytes of every payload word are reversed on the way in and out);
//   0  word mode: host-order 32-bit integers cross with their values intact.
// On the 16-bit channel each word crosses as two FIFO transfers, the more
// significant half first (the device's swapWords rule).
//
// Return codes of every operation:
//    0  success (lwf_pump and lwf_ready return a count or a truth value)
//   -1  missing or invalid argument; table of channels full or not set up; a
//       send that timed out after part of its frame was written; a size to
//       receive that is not a multiple of 4; a bad payload; module not ready
//   -2  memory exhausted
//   -3  send time-out before any byte of the frame was written
//   -4  no complete payload cached yet: try again later
//   -5  kind not accepted at creation
//   -7  the channel's kind has no sending side
//   -8  the channel's kind has no receiving side
//   -9  receive time-out: no progress while completing a frame
//  -10  lwf_readoffset asked for bytes beyond the payload
//  other: the VISA status of a failed FIFO transfer, passed on unchanged
//
// Everything that comes out of the module's FIFO is untrusted: a payload size
// that is negative or larger than LWF_MAX_PAYLOAD is a bad payload (reported
// on standard error, the cache emptied, -1), never a huge allocation or a
// wait for bytes that cannot come. So is a complete frame whose size is not a
// multiple of 4: taking it off would leave the cache out of step with the
// module's words.
//
// Single-threaded: the table of channels and the staging buffer are
// process-wide and unlocked.
#pragma once

#include <cstdint>

#include "vxi/vxi.h"

// Channel kinds.
constexpr int32_t LWF_CMD = 1;         // 16-bit FIFO, both directions (the update's channel)
constexpr int32_t LWF_RX32 = 3;        // 32-bit FIFO, module to host
constexpr int32_t LWF_RX32_CTL = 4;    // as 3, and writes 8 to Status/Control at start and reset
constexpr int32_t LWF_TX32 = 5;        // 32-bit FIFO, host to module
// Kinds over a file descriptor; no transfer over a descriptor exists.
constexpr int32_t LWF_STREAM = 7340;        // both directions, 4096-byte cache
constexpr int32_t LWF_STREAM_TX = 7341;     // send only; not accepted by lwf_init_stream
constexpr int32_t LWF_STREAM_RX = 7342;     // receive only, 4096-byte cache
constexpr int32_t LWF_STREAM_TX_BARE = 7343;  // send only, no cache

// Return codes.
constexpr int32_t LWF_OK = 0;
constexpr int32_t LWF_ERROR = -1;
constexpr int32_t LWF_NO_MEMORY = -2;
constexpr int32_t LWF_SEND_TIMEOUT = -3;
constexpr int32_t LWF_NOT_YET = -4;
constexpr int32_t LWF_BAD_KIND = -5;
constexpr int32_t LWF_NO_SEND_SIDE = -7;
constexpr int32_t LWF_NO_RECEIVE_SIDE = -8;
constexpr int32_t LWF_RECEIVE_TIMEOUT = -9;
constexpr int32_t LWF_BEYOND_PAYLOAD = -10;

// The largest payload the host accepts from the module: four times the
// largest image this system carries. No exchange produces more.
constexpr int32_t LWF_MAX_PAYLOAD = 16 * 1024 * 1024;

// Offsets in the module's 64-byte register block.
constexpr uint32_t LWF_REG_STATUS = 0x04;
constexpr uint32_t LWF_REG_FIFO32 = 0x20;
constexpr uint32_t LWF_REG_TX32_COUNT = 0x24;
constexpr uint32_t LWF_REG_RX32_COUNT = 0x28;
constexpr uint32_t LWF_REG_FIFO16 = 0x2C;
constexpr uint32_t LWF_REG_TX16_COUNT = 0x2E;
constexpr uint32_t LWF_REG_RX16_COUNT = 0x32;
constexpr uint32_t LWF_REG_AUX16 = 0x38;
constexpr uint32_t LWF_REG_RX_AVAIL = 0x3C;

struct LwfChannel;

// Payload handler of lwf_pump: 0 to go on, anything else to stop after this
// payload. The payload pointer is valid only during the call.
typedef int32_t (*LwfHandler)(LwfChannel* channel, int32_t tag, int32_t size,
                              const void* payload);

// One channel, made by lwf_init and owned by its creator until lwf_free.
// Cache invariant: cacheReadPtr + cacheBytesAvail == cacheWritePtr
// <= cacheBase + cacheSize, and cacheReadPtr stands at a frame header (or a
// marker word).
struct LwfChannel {
  int32_t kind;
  uint8_t* cacheBase;       // receive cache (owned); null for kind 5
  uint8_t* cacheWritePtr;   // where the next bytes from the FIFO go
  uint8_t* cacheReadPtr;    // start of the first frame not yet taken
  int32_t cacheBytesAvail;  // bytes cached and not yet taken
  int32_t cacheSize;
  int32_t swapWords;        // the device's flag, taken at creation
  LwfHandler handler;       // for lwf_pump; may be null
  VxiDevice* device;        // not owned
  int32_t logicalAddress;
  int32_t fifoWidth;        // bytes per FIFO transfer: 2, 4, or 0 for none
  uint8_t* statusReg;       // host addresses of the registers
  uint8_t* rxFifoReg;
  uint8_t* rxCountReg;
  uint8_t* aux16Reg;
  uint8_t* rxAvailReg;
  int32_t rxMinFree;        // least free cache space before a receive; growth step / 16
  double rxTimeout;         // seconds without progress while completing a frame
  uint8_t* txFifoReg;
  uint8_t* txCountReg;
  int32_t txCapacity;       // bytes the module's incoming FIFO holds
  double txTimeout;         // seconds without progress while sending
  int32_t descriptor;       // stream kinds: the file descriptor (closed by lwf_free)
};

// The table of channels that lwf_init made, so that a send can keep every
// receiving channel of the same module served while it waits for room.
constexpr int LWF_MAX_CHANNELS = 64;
extern LwfChannel* lwfChannels[LWF_MAX_CHANNELS];
extern int32_t lwfChannelsReady;  // set up by the first lwf_init

// The send staging buffer shared by all channels; grows, never shrinks.
struct LwfStaging {
  uint8_t* block;
  int32_t capacity;
};
extern LwfStaging lwfStaging;

// ---- Start and lifecycle ----------------------------------------------

// Creates, registers and drains a register-kind channel (1, 3, 4 or 5) on the
// module at logicalAddress, whose whole A16 space the device has mapped from
// bus address 0. A failure leaves nothing allocated or registered.
int32_t lwf_init(VxiDevice* device, int32_t logicalAddress, int32_t kind, LwfHandler handler,
                 LwfChannel** channel);
// A channel over a file descriptor (7340, 7342, 7343): not registered, not drained.
int32_t lwf_init_stream(int32_t descriptor, int32_t kind, LwfHandler handler,
                        LwfChannel** channel);
// Re-synchronises the receive side with the module (drain, empty cache); 0.
int32_t lwf_reset(LwfChannel* channel);
// Unregisters and frees the channel; 0, also for no channel.
int32_t lwf_free(LwfChannel* channel);
// Waits until bit 0 of the module's Status register is set: 0, or -1 after
// more than `seconds`.
int32_t lwf_wait_ready(LwfChannel* channel, int32_t seconds);

// ---- Sending ------------------------------------------------------------

// Sends size bytes of data as one frame with tag. dataWidth 4 is byte-stream
// mode, anything else word mode. Returns once the whole frame is in the
// module's FIFO, or with a code of the table above.
int32_t lwf_write(LwfChannel* channel, int32_t tag, int32_t size, const void* data,
                  int32_t dataWidth);
// The same in word mode.
int32_t lwf_write_words(LwfChannel* channel, int32_t tag, int32_t size, const void* data);
// Moves what the module has queued into the cache of every receiving channel
// of the sender's module: 1 when any gained bytes, 0 when none, or an error.
int32_t lwf_receive_all(LwfChannel* channel);

// ---- Receiving ----------------------------------------------------------

// Takes the next frame off and copies up to capacity payload bytes to
// destination; *tag gets its tag and *size the bytes copied. Without a tag
// destination nothing is copied, *size gets the payload size, and the frame
// is only dropped.
int32_t lwf_read(LwfChannel* channel, int32_t capacity, int32_t* tag, int32_t* size,
                 void* destination, int32_t dataWidth);
// The same in word mode.
int32_t lwf_read_words(LwfChannel* channel, int32_t capacity, int32_t* tag, int32_t* size,
                       void* destination);
// Takes the next frame off and copies length bytes (a positive multiple of 4)
// from offset bytes into its payload; -10 (frame kept) when that lies beyond it.
int32_t lwf_readoffset(LwfChannel* channel, int32_t length, int32_t offset, void* destination,
                       int32_t dataWidth);
// Reports the next complete frame without taking it off; *payload points into
// the cache and stays valid only until the next operation on any channel of
// the same module.
int32_t lwf_peek(LwfChannel* channel, int32_t* tag, int32_t* size, const void** payload);
// Takes off the complete frame at the read position (after a successful
// lwf_peek); -1 and nothing changed when there is none.
int32_t lwf_dispose(LwfChannel* channel);
// 1 when a complete frame is cached (after trying to complete one), 0 if not.
int32_t lwf_ready(LwfChannel* channel);
// Hands every complete cached frame in turn to the channel's handler until it
// returns non-zero; returns how many it handed over. -1 without a handler.
int32_t lwf_pump(LwfChannel* channel);

// Internal steps, exposed for tests: lwf_receive moves FIFO bytes into the
// cache (want 0: what is waiting now; want > 0: wait until that many were
// added); lwf_fill completes the frame at the read position if one has begun.
int32_t lwf_receive(LwfChannel* channel, int32_t want);
int32_t lwf_fill(LwfChannel* channel);
