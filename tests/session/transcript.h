// Pieces of the transcripts and module logs of whole update sessions, built
// from the carried revisions and the texts the operator sees.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace transcript {

using Revisions = std::array<int32_t, 5>;

// The revisions this release carries, in segment order, and lanboot's.
inline const Revisions CARRIED = {110000, 2051614, 2071509, 3041016, 10800};
inline constexpr int32_t CARRIED_LANBOOT = 110000;
// The module presets of the simulator.
inline const Revisions OLDER_MODULE = {100000, 2041200, 2061000, 3030500, 10700};
inline const Revisions NEWER_GENERATION = {120500, 2051614, 2071509, 3041016, 10800};

inline const std::array<const char*, 5> IMAGES = {"vxWorks_rom.hex", "vxiga.hex", "bbbga.hex",
                                                  "fibga.hex", "selfTest.out"};
inline const char* const LANBOOT_IMAGE = "bootrom.hex";

inline std::string row(int32_t segment, int32_t revision) {
  static const char* const descriptions[] = {"OS      ", "FPGA1   ", "FPGA2   ", "FPGA3   ",
                                             "selfTest"};
  return std::to_string(segment) + "             " + descriptions[segment] + "        " +
         std::to_string(revision) + "\n";
}

inline const std::string HEAD = "ROM Segment   Segment Desc    Revision\n";

inline std::string rows(const Revisions& revisions) {
  std::string text;
  for (int32_t segment = 0; segment < 5; ++segment) text += row(segment, revisions[segment]);
  return text;
}

inline std::string updateTable() {
  return "ROM segment revisions in this update:\n" + HEAD + rows(CARRIED) + "\n";
}

inline std::string moduleTable(const Revisions& revisions, int32_t logicalAddress = 128) {
  return "ROM segment revisions in Q7340 module VXI0::" + std::to_string(logicalAddress) + "\n" +
         HEAD + rows(revisions) + "\n";
}

// The two prompts with the defaults taken (input "\n\n").
inline std::string prompts(int32_t logicalAddress = 128) {
  std::string address = std::to_string(logicalAddress);
  return "Enter interface [VXI0]: VXI0\nEnter device address [" + address + "]: " + address +
         "\n\n";
}

inline std::string summary(const std::vector<int32_t>& segments, bool lanboot) {
  std::string text = "ROM segment to be programmed:\n" + HEAD;
  for (int32_t segment : segments) text += row(segment, CARRIED[segment]);
  if (lanboot) text += "\nPrograming lanboot ROM segment.\n\n";
  return text + "\nPrograming can take up to 60 seconds for some ROM segments.\n" +
         "WARNING: Programming of the Q7340 ROM must not be interrupted.\n\n";
}

// The download and programming lines; the lanboot lines only where the
// lanboot segment goes on its own (not with segment 0).
inline std::string downloading(const std::vector<int32_t>& segments, bool lanbootLine = false) {
  std::string text;
  for (int32_t segment : segments)
    text += "Downloading ROM segment " + std::to_string(segment) + " \n";
  if (lanbootLine) text += "Downloading lanboot ROM segment \n";
  return text + "\n";
}

inline std::string programming(const std::vector<int32_t>& segments, bool lanbootLine = false) {
  std::string text;
  for (int32_t segment : segments) text += "Programing ROM segment " + std::to_string(segment) + "\n";
  if (lanbootLine) text += "Programing lanboot ROM segment \n";
  return text + "\n";
}

inline const std::string ALL_UP_TO_DATE = "All ROM segments are up to date\n";
inline const std::string CANCELED = "Q7340 update canceled.\n";
inline const std::string NOT_COMPATIBLE =
    "Selftest will not be updated because it is not compatible with OS.\n"
    "Update the OS before updating selftest.\n\n";
inline const std::string SELFTEST_LATER = "Selftest will be updated after the module reboots.\n\n";
inline const std::string REBOOT_ADVICE = "Reboot the module for the ROM changes to be effective.\n";
inline const std::string REBOOT_QUESTION = "Reboot Q7340 module now (y/n)[y]? ";
inline const std::string REBOOT_LATER = "To reboot the Q7340 module, q7340romupdate -R\n";
inline const std::string REBOOTING =
    "\nRebooting Q7340\nWaiting up to 35 Sec for reboot to complete\n";
inline const std::string REBOOT_COMPLETE = "Reboot complete\n";
inline const std::string REBOOT_FAILED = "Error: reboot NOT complete, check address\n";
inline const std::string STARTUP_RESET = "Rebooting Q7340\nReboot complete\n\n";
inline const std::string CLOSING = "\nPress Enter to exit.";

// Module log pieces.
using Log = std::vector<std::string>;

inline Log operator+(Log first, const Log& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// Both libraries start as tasks of priority 0 with param1 0 and a stack of
// 2000 bytes.
inline const std::string MSG_LIB_STARTED = "start dldmsgLibInit param1=0 priority=0 stackSize=2000";
inline const std::string UPDATE_LIB_STARTED =
    "start romupdateInit param1=0 priority=0 stackSize=2000";
inline const Log LIBRARY_LOADS = {"load dldmsgLib.out", MSG_LIB_STARTED, "load romupdate.out",
                                  UPDATE_LIB_STARTED};
inline const Log UNLOAD = {"unload romupdate.out"};

inline std::string stored(const std::string& name) { return "store " + name; }
inline std::string removed(const std::string& name) { return "remove " + name; }
inline std::string programmed(int32_t segment) {
  return "program " + std::to_string(segment) + " " + std::to_string(CARRIED[segment]);
}
inline std::string programmedLanboot() {
  return "program lanboot " + std::to_string(CARRIED_LANBOOT);
}

}  // namespace transcript
