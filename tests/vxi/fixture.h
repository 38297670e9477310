// The fixture of the VXI access library's tests: a simulated mainframe
// installed as the program's VISA, the virtual clock, and standard error
// captured so that tests can compare what the library printed.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/console.h"
#include "sim/mainframe.h"
#include "sim/visa_table.h"
#include "vxi/vxi.h"

class VxiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clockUseVirtual();
    sim::install(mainframe);
    errors = tmpfile();
    ASSERT_NE(errors, nullptr);
    consoleErr = errors;
  }

  void TearDown() override {
    for (VxiDevice* device : opened) vxiClose(device);
    consoleErr = stderr;
    fclose(errors);
    sim::uninstall();
  }

  // Everything the library printed on standard error so far.
  std::string errorText() {
    fflush(errors);
    std::string text;
    rewind(errors);
    for (int c; (c = fgetc(errors)) != EOF;) text += static_cast<char>(c);
    return text;
  }

  // Opens a device that the fixture closes at the end of the test.
  VxiDevice* open(int la) {
    VxiDevice* device = nullptr;
    EXPECT_EQ(vxiOpen("VXI0", la, &device), 0);
    return track(device);
  }
  VxiDevice* track(VxiDevice* device) {
    if (device != nullptr) opened.push_back(device);
    return device;
  }
  // Closes a device the fixture opened or tracks; vxiClose's status.
  int32_t close(VxiDevice* device) {
    std::erase(opened, device);
    return vxiClose(device);
  }

  // The memory-access device with the whole A16 space mapped, as the program uses it.
  VxiDevice* openMapped() {
    VxiDevice* device = open(-1);
    EXPECT_EQ(vxiMap(device, VI_A16_SPACE, 0, 0x10000, &a16), 0);
    return device;
  }

  // Host address of a register of the device at la, inside the A16 window.
  void* reg(int la, uint32_t offset) {
    return static_cast<char*>(a16) + 0xC000 + 64 * la + offset;
  }

  // The log's lines from index `from` on, one per call.
  std::vector<std::string> logLines(size_t from = 0) {
    std::vector<std::string> lines;
    for (size_t i = from; i < mainframe.log.size(); ++i)
      lines.push_back(mainframe.log[i].describe());
    return lines;
  }

  sim::Mainframe mainframe;
  std::vector<VxiDevice*> opened;
  FILE* errors = nullptr;
  void* a16 = nullptr;
};
