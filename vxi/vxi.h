// VXI access library: a thin layer over VISA for sessions, resource names,
// status texts, register and memory access, block and FIFO transfers,
// word-serial commands, device information, interrupts and locks.
//
// Statuses: 0 success; VISA's own statuses pass through unchanged (every
// non-zero VISA status counts as failure, completion codes included); the
// library adds -1 (memory allocation failed) and -2 (invalid argument).
#pragma once

#include <cstdint>

#include "vxi/visa.h"

constexpr int32_t VXI_ERROR_ALLOC = -1;
constexpr int32_t VXI_ERROR_ARGUMENT = -2;

typedef void (*VxiCallback)(ViSession session);

// One opened VXI resource. Made zero-filled by vxiOpen, given back with vxiClose.
struct VxiDevice {
  char rsrcName[256];    // resource name it was opened with, NUL-terminated
  int32_t la;            // logical address; negative: the interface's memory-access resource
  ViSession sess;        // VISA session on rsrcName
  int32_t access32;      // non-zero: 32-bit quantities move as 32-bit VISA operations
  int32_t swapWords;     // 1 at open: the more significant half of a 32-bit value is at the lower address
  void* mapAddress;      // host address of the mapped window; null while none
  uint16_t mapSpace;     // VI_A16_SPACE and so on
  uint32_t mapOffset;    // bus offset at which the window begins
  uint32_t mapSize;      // window size in bytes
  VxiCallback callback;  // interrupt callback; null while none is installed
};

// ---- Sessions, resource names and errors --------------------------------

// Opens "%s::MEMACC" of the interface (negative la) or "%s::%d" (device at la).
// On success *device holds the new record; otherwise *device is null.
// A null device pointer, a null interface name, or a name too long for
// rsrcName returns -2 without opening or allocating anything. The first open
// opens the process's VISA default resource manager, which every later open,
// search and status text shares and which stays open.
int32_t vxiOpen(const char* interfaceName, int32_t la, VxiDevice** device);
// viClose on the session; the record is freed in every case.
int32_t vxiClose(VxiDevice* device);
// Text of a status; valid until the next call. -1 and -2 have fixed texts;
// any other is VISA's viStatusDesc (empty when VISA gives none).
const char* vxiStatusText(int32_t status);
int32_t vxiSetTimeout(VxiDevice* device, uint32_t milliseconds);
int32_t vxiGetTimeout(VxiDevice* device, uint32_t* milliseconds);
int32_t vxiSetAccess32(VxiDevice* device, int32_t flag);
// First token of the session's resource name ("VXI0"), or null; valid until the next call.
const char* vxiInterfaceName(VxiDevice* device);
// Device clear; on the memory-access resource (la -1), of every instrument
// of the interface ("%s::?*INSTR"): one that cannot be opened is reported on
// standard error and skipped. -2 when the interface name cannot be read.
int32_t vxiClear(VxiDevice* device);
// Entry points with fixed results, kept for callers of the library's interface.
int32_t vxiInit();
int32_t vxiGetVersion(void* ignored, int32_t* major, int32_t* minor);

// ---- Register, memory and block access -----------------------------------

// Maps a window (unmapping an old one first); *address receives its host address.
int32_t vxiMap(VxiDevice* device, uint16_t space, uint32_t offset, uint32_t size, void** address);
int32_t vxiUnmap(VxiDevice* device);
// Single accesses at a host address inside the window; VISA reports no status.
uint8_t vxiPeek8(VxiDevice* device, void* address);
uint16_t vxiPeek16(VxiDevice* device, void* address);
uint32_t vxiPeek32(VxiDevice* device, void* address);
int32_t vxiPoke32(VxiDevice* device, void* address, uint32_t value);
// count 32-bit words between buffer and consecutive bus addresses.
int32_t viPokeBlk32(VxiDevice* device, void* address, uint32_t* buffer, uint32_t count);
int32_t viPeekBlk32(VxiDevice* device, void* address, uint32_t* buffer, uint32_t count);
// byteCount bytes between buffer and the single bus location address, in
// transfers of width (2 or 4) bytes. The buffer is exchanged in place and
// exchanged back on the 16-bit path with swapWords.
int32_t vxiPokeFifo(VxiDevice* device, void* address, uint32_t width, void* buffer,
                    uint32_t byteCount);
int32_t vxiPeekFifo(VxiDevice* device, void* address, uint32_t width, void* buffer,
                    uint32_t byteCount);
int32_t vxiWrite(VxiDevice* device, const void* buffer, uint32_t count, uint32_t* written);

// Byte-order helpers. Exchanging halves: bytes 0,1,2,3 of each word become 2,3,0,1.
void vxiSwapWords(uint32_t* words, uint32_t count);
void vxiSwapWordsBytes(void* buffer, uint32_t byteCount);  // byteCount / 4 words
// Converts count words with htonl from source to destination; nothing when either is null.
void vxiHtonlWords(const uint32_t* source, uint32_t* destination, uint32_t count);
void vxiNtohlWords(const uint32_t* source, uint32_t* destination, uint32_t count);
// An IEEE double from two words, the first giving its more significant half.
double vxiWordsToDouble(uint32_t high, uint32_t low);

// ---- Word-serial commands, device information, interrupts and locks ------

struct VxiDeviceInfo {
  uint16_t la;
  char names[3][16];  // each "FIXME"
  uint16_t manfId;
  uint16_t modelCode;
  int16_t slot;
  uint16_t servantArea;
  uint16_t memBits;   // 24, 32 or 0
  uint16_t memSize;   // scaled: >> 16 for A24, >> 8 for A32
  uint16_t memBase;
  uint8_t reservedA[16];  // every byte 0xFF
  uint8_t reservedB[16];
};

// viVxiCommandQuery; where VISA answers VI_ERROR_NSUP_OPER, the command goes
// through the word-serial registers as a 16-bit command with a 16-bit
// response: -1 not write-ready, -2 no response in 0.5 s. A null response
// pointer is -2 before anything is asked.
int32_t vxiCommandQuery(ViSession session, uint16_t mode, uint32_t command, uint32_t* response);
// Fills info for the device at la: the device's own session when la is its
// la, otherwise a session opened and closed for the purpose (-2 when the
// interface name cannot be read).
int32_t vxiDeviceInfo(VxiDevice* device, int32_t la, VxiDeviceInfo* info);
// Installs, replaces or (null) removes the SIGP callback.
int32_t vxiSetInterruptCallback(VxiDevice* device, VxiCallback callback);
int32_t vxiLock(VxiDevice* device);
int32_t vxiUnlock(VxiDevice* device);
