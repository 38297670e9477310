// The simulated VXI mainframe: a VISA implementation over a model of one VXI
// interface ("VXI0") and the devices in its A16 configuration space. It keeps
// the resource manager, sessions and find lists, mapped windows, attributes,
// event handlers and locks, routes every bus access to the sim::Device whose
// register block it falls into, charges each access its bus time to the shared
// clock, counts accesses, logs VISA calls and injects faults at the VISA
// boundary.
//
// The member functions named like VISA's take the same arguments and give the
// same statuses; sim/visa_table.h turns the current mainframe into a
// VisaFunctions table, and sim/visa_exports.cpp into a shared libvisa.so.
//
// Address map: bus address 0xC000 + 64 x LA holds the 64-byte block of the
// device at LA; the A24/A32 memory a device advertises (VI_ATTR_MEM_*) is
// plain memory of that size. A location where no device answers (an empty
// LA, below 0xC000, A24/A32 outside any device's memory), and a D32 access
// to a register that is D16 only, read all ones through a window and end a
// block move or viIn/viOut with VI_ERROR_BERR. The bus is D16/D32: every
// 64-bit access is refused with VI_ERROR_NSUP_WIDTH.
//
// Window addresses: viMapAddress reserves an inaccessible host address range
// (PROT_NONE) of the window's size for each window and hands out its start;
// peeks and pokes translate addresses in it back to bus addresses and never
// touch the range. An access outside the session's window (or misaligned) is
// counted in Counters::outOfWindow and logged; a peek then gives all ones and a
// poke is dropped.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/device.h"
#include "sim/module/module_config.h"
#include "vxi/visa.h"

namespace sim {

// Bus time charged per access, in seconds. The defaults are those of a VXI bus
// reached through an MXI-2 style interface: a single access through a window
// costs about a microsecond (host bus write, MXI hop, VXI cycle, back); a block
// move pays a set-up and then streams at roughly 5 MB/s for D16 and 9 MB/s for
// D32.
struct BusCosts {
  double single16 = 1.0e-6;    // one D16 peek, poke, viIn16 or viOut16
  double single32 = 1.2e-6;    // one D32 peek or poke
  double block16 = 0.4e-6;     // each element of a 16-bit block move
  double block32 = 0.45e-6;    // each element of a 32-bit block move
  double blockSetup = 2.0e-6;  // each block move, before its first element
};

// Accesses made so far; benchmarks and tests read and reset them.
struct Counters {
  uint64_t singleAccesses = 0;  // peeks, pokes, viIn16/viOut16 and register steps of queries
  uint64_t blockMoves = 0;
  uint64_t blockElements = 0;
  uint64_t outOfWindow = 0;     // peeks and pokes outside their session's window, or misaligned
  uint64_t busErrors = 0;       // accesses where no device answered
};

// One VISA call as the mainframe saw it.
struct CallRecord {
  std::string function;        // "viMoveOut16"
  ViObject session = 0;        // the session, find list or event it was made on
  std::vector<uint64_t> args;  // the call's numeric arguments, see describe()
  std::string text;            // the resource name or expression, where the call has one
  ViStatus status = VI_SUCCESS;

  // "viSetAttribute(VI_ATTR_DEST_INCREMENT, 0) = 0". Peeks and pokes show the
  // bus address they reached (all ones outside the window), moves their space,
  // offset and count, attribute calls the attribute's name.
  std::string describe() const;
};

// Makes a VISA function fail (SQLite test_syscall style): the nth call that
// matches fails with status, and with `always` every matching call after it
// too. A failing call does nothing else; a failing peek gives all ones and a
// failing poke is dropped.
struct Fault {
  std::string function;                // "viSetAttribute"
  std::optional<ViAttr> attribute = std::nullopt;      // for viGetAttribute/viSetAttribute: only this attribute
  std::optional<std::string> resource = std::nullopt;  // for viOpen: only this resource name
  ViStatus status = VI_ERROR_SYSTEM_ERROR;
  int nth = 1;
  bool always = false;
  int seen = 0;   // matching calls so far
  int fired = 0;  // calls failed so far
};

struct MainframeConfig {
  int q7340La = 128;     // the Q7340 module's logical address; negative: no module
  bool slotZero = true;  // a slot-0 controller (message-based commander) at LA 0
  BusCosts costs;
  module::ModuleConfig module;  // the Q7340 module's flash, timings and faults
};

class Mainframe {
 public:
  explicit Mainframe(const MainframeConfig& config = MainframeConfig{});
  ~Mainframe();
  Mainframe(const Mainframe&) = delete;
  Mainframe& operator=(const Mainframe&) = delete;

  // ---- Devices ----
  // Puts a device at la (0..255), replacing the one there; returns it.
  Device* attach(int la, std::unique_ptr<Device> device);
  void detach(int la);
  Device* device(int la) const;
  template <typename T>
  T* deviceAs(int la) const { return dynamic_cast<T*>(device(la)); }

  // ---- Behaviour switches and measurements ----
  BusCosts costs;
  Counters counters;
  bool commandQuerySupported = true;  // false: viVxiCommandQuery answers VI_ERROR_NSUP_OPER
  bool logEnabled = true;             // false: no CallRecord is kept (benchmarks)
  FILE* trace = nullptr;              // non-null: each call's describe() line goes here too
  std::vector<CallRecord> log;

  // Records of the calls to one function, in order.
  std::vector<CallRecord> calls(const std::string& function) const;
  // The index in the log of the first record whose describe() starts with
  // prefix, from index `from` on; -1 when there is none.
  int find(const std::string& prefix, size_t from = 0) const;
  void addFault(const Fault& fault);
  const std::vector<Fault>& faults() const { return faultRules; }

  // Delivers a SIGP with its status/ID to the enabled handlers of every session
  // on the device at la and of every MEMACC session, synchronously. Returns
  // the number of handler calls.
  int raiseSigp(int la, uint16_t statusId);

  // Sessions that are open (resource managers, devices, find lists).
  size_t openSessions() const { return sessions.size(); }

  // ---- VISA ----
  ViStatus viOpenDefaultRM(ViSession* rm);
  ViStatus viOpen(ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeoutMs,
                  ViSession* vi);
  ViStatus viClose(ViObject object);
  ViStatus viFindRsrc(ViSession rm, ViConstString expression, ViFindList* list, ViUInt32* count,
                      ViChar* descriptor);
  ViStatus viFindNext(ViFindList list, ViChar* descriptor);
  ViStatus viParseRsrc(ViSession rm, ViConstRsrc name, ViUInt16* interfaceType,
                       ViUInt16* interfaceNumber);
  ViStatus viClear(ViSession vi);
  ViStatus viStatusDesc(ViObject object, ViStatus status, ViChar* description);
  ViStatus viGetAttribute(ViObject object, ViAttr attribute, void* value);
  ViStatus viSetAttribute(ViObject object, ViAttr attribute, ViAttrState value);
  ViStatus viMapAddress(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize size,
                        ViBoolean access, ViAddr suggested, ViAddr* address);
  ViStatus viUnmapAddress(ViSession vi);
  void viPeek8(ViSession vi, ViAddr address, ViUInt8* value);
  void viPeek16(ViSession vi, ViAddr address, ViUInt16* value);
  void viPeek32(ViSession vi, ViAddr address, ViUInt32* value);
  void viPoke16(ViSession vi, ViAddr address, ViUInt16 value);
  void viPoke32(ViSession vi, ViAddr address, ViUInt32 value);
  ViStatus viMoveIn16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                      ViUInt16* buffer);
  ViStatus viMoveIn32(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                      ViUInt32* buffer);
  ViStatus viMoveOut16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                       ViUInt16* buffer);
  ViStatus viMoveOut32(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                       ViUInt32* buffer);
  ViStatus viWrite(ViSession vi, ViConstBuf buffer, ViUInt32 count, ViUInt32* written);
  ViStatus viIn16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16* value);
  ViStatus viOut16(ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16 value);
  ViStatus viVxiCommandQuery(ViSession vi, ViUInt16 mode, ViUInt32 command, ViUInt32* response);
  ViStatus viInstallHandler(ViSession vi, ViEventType type, ViHndlr handler, ViAddr userHandle);
  ViStatus viUninstallHandler(ViSession vi, ViEventType type, ViHndlr handler, ViAddr userHandle);
  ViStatus viEnableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism,
                         ViEventFilter context);
  ViStatus viDisableEvent(ViSession vi, ViEventType type, ViUInt16 mechanism);
  ViStatus viDiscardEvents(ViSession vi, ViEventType type, ViUInt16 mechanism);
  ViStatus viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeoutMs,
                  ViConstKeyId requestedKey, ViChar* accessKey);
  ViStatus viUnlock(ViSession vi);

  // The register and memory family at any width: width in bytes, 1, 2, 4 or
  // 8; `function` is the name the call is logged under ("viIn8",
  // "viMoveOut32Ex"). The named members above are these at their width.
  ViStatus in(const char* function, ViSession vi, ViUInt16 space, ViBusAddress offset, int width,
              uint64_t* value);
  ViStatus out(const char* function, ViSession vi, ViUInt16 space, ViBusAddress offset, int width,
               uint64_t value);
  ViStatus moveIn(const char* function, ViSession vi, ViUInt16 space, ViBusAddress offset,
                  ViBusSize count, int width, void* buffer);
  ViStatus moveOut(const char* function, ViSession vi, ViUInt16 space, ViBusAddress offset,
                   ViBusSize count, int width, const void* buffer);
  // viMove: count elements from one bus range to another, widths as VI_WIDTH_*.
  ViStatus move(const char* function, ViSession vi, ViUInt16 srcSpace, ViBusAddress srcOffset,
                ViUInt16 srcWidth, ViUInt16 destSpace, ViBusAddress destOffset,
                ViUInt16 destWidth, ViBusSize count);
  // Peeks and pokes return the access's status, which VISA's do not report.
  ViStatus peek(const char* function, ViSession vi, ViAddr address, int width, uint64_t* value);
  ViStatus poke(const char* function, ViSession vi, ViAddr address, int width, uint64_t value);

  // Bytes each message-based device received through viWrite, by LA.
  std::map<int, std::string> messages;

 private:
  enum class Kind { ResourceManager, MemAcc, Instrument, FindList, Event };
  struct Window {
    ViUInt16 space = 0;
    uint64_t busBase = 0;       // bus address of the window's first byte
    uint64_t size = 0;
    uintptr_t host = 0;         // start of the reserved host range
    size_t reservedBytes = 0;   // length of that range (whole pages)
  };
  struct Handler {
    ViHndlr function;
    ViAddr userHandle;
  };
  struct Session {
    Kind kind = Kind::ResourceManager;
    ViSession rm = 0;           // the resource manager it was opened from
    int la = -1;                // Instrument: the device's LA
    std::string name;           // canonical resource name, "VXI0::128::INSTR"
    ViUInt32 timeoutMs = 2000;
    ViInt32 srcIncrement = 1;
    ViInt32 destIncrement = 1;
    std::optional<Window> window;
    std::vector<Handler> handlers;
    bool sigpEnabled = false;
    int lockCount = 0;          // nested exclusive locks held
    std::vector<std::string> found;  // FindList: descriptors after the first
    size_t nextFound = 0;
    uint16_t sigpStatusId = 0;  // Event: the SIGP's status/ID
  };

  // Runs body unless a fault fires, and logs the call with its status.
  template <typename Body>
  ViStatus traced(const char* function, ViObject session, std::vector<uint64_t> args,
                  std::string text, std::optional<ViAttr> attribute, Body body);
  std::optional<ViStatus> faultFor(const char* function, std::optional<ViAttr> attribute,
                                   const std::string& text);
  void record(CallRecord record);

  // The object when it is open and of one of the kinds; otherwise null.
  Session* lookup(ViObject object, std::initializer_list<Kind> kinds);
  ViSession newSession(Session session);
  void closeSession(ViObject object);
  bool lockedByOther(ViSession vi, const Session& session) const;
  std::vector<std::string> instrumentDescriptors() const;

  // Bus: 8-, 16- and 32-bit reads and writes of one location; false/nullopt
  // (a bus error, counted) when nothing answers there at that width.
  std::optional<uint32_t> busRead(ViUInt16 space, uint64_t address, int width);
  bool busWrite(ViUInt16 space, uint64_t address, int width, uint32_t value);
  std::optional<uint32_t> registerRead(uint64_t address, int width);
  // The device whose A16 register block holds the address, or null.
  Device* blockOwner(ViUInt16 space, uint64_t address) const;
  bool registerWrite(uint64_t address, int width, uint32_t value);
  static bool answersD32(const Device& device, uint32_t offset);
  // The bytes of device memory at address, or null when no device's memory
  // holds all width bytes there.
  uint8_t* memoryAt(ViUInt16 space, uint64_t address, int width);
  double singleCost(int width) const;
  double elementCost(int width) const;
  // The absolute bus address of a session-relative offset (MEMACC: absolute;
  // a device: its A16 block, or its A24/A32 memory); a VISA error when the
  // length bytes from there leave what the session reaches.
  ViStatus busAddressOf(const Session& session, ViUInt16 space, uint64_t offset, uint64_t length,
                        uint64_t* address) const;
  // The bus address of a host address in the session's window, counted and
  // logged as outOfWindow when it is not in it whole or not aligned.
  std::optional<uint64_t> windowTranslate(ViSession vi, ViAddr address, int width);
  ViStatus startWindowAccess(const char* function, ViSession vi, ViAddr address, int width,
                             std::optional<uint64_t>* bus);
  ViStatus startSingle(ViSession vi, ViUInt16 space, ViBusAddress offset, int width,
                       const void* buffer, uint64_t* address);
  ViStatus moveRange(const Session& session, ViUInt16 space, ViBusAddress offset,
                     ViBusSize count, int width, bool advance, uint64_t* start) const;
  ViStatus startMove(ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count,
                     int width, bool incoming, const void* buffer, uint64_t* start,
                     bool* advance);
  ViStatus getAttribute(ViObject object, ViAttr attribute, void* value);
  ViStatus setAttribute(ViObject object, ViAttr attribute, ViAttrState value);
  // Whether a session of this kind answers an attribute of the scope
  // (attributes.cpp).
  static bool inScope(int scope, Kind kind);
  ViStatus commandQuery(ViSession vi, ViUInt16 mode, ViUInt32 command, ViUInt32* response);
  void releaseWindow(Session& session);

  std::unique_ptr<Device> devices[256];
  std::map<int, std::vector<uint8_t>> memories;  // by LA: the device's A24/A32 memory
  std::map<ViObject, Session> sessions;
  ViObject nextObject = 0x1001;
  std::map<std::string, ViSession> lockOwners;  // resource name -> session holding its lock
  std::vector<Fault> faultRules;
};

// The mainframe the VISA table and the exported functions act on.
void setCurrent(Mainframe* mainframe);
Mainframe* current();

// The text viStatusDesc gives for a status; null for a status it does not know.
const char* statusText(ViStatus status);

}  // namespace sim
