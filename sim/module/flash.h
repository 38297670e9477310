// The module's flash: the five ROM segments and lanboot, the functions that
// program them from RAM files, and the checks an image passes first.
#pragma once

#include <cstdint>
#include <string>

#include "sim/module/module_state.h"

namespace sim::module {

enum class ImageFormat { Srec3, Srec2, Elf };

// Index of the lanboot segment in the module's table (after segments 0 to 4).
constexpr int LANBOOT_INDEX = SEGMENT_COUNT;

struct FlashSegment {
  int index;              // 0 to 4, or LANBOOT_INDEX
  const char* progCmd;    // the module function that programs it
  const char* imageName;  // the RAM file it programs from
  ImageFormat format;
};

// The segment programmed by a module function, or null.
const FlashSegment* flashSegmentByCommand(const std::string& name);

// Programs a segment from its RAM file: the image must be there, pass its
// format's checks and carry a readable revision. On success the revision is
// recorded, the event logged and 0 returned; otherwise a negative result and
// the flash unchanged.
int32_t programSegment(ModuleState& state, const FlashSegment& segment);

// The revision an image carries: its stand-in mark, or for an image equal to a
// file the program carries, that file's revision. False when neither.
bool imageRevision(const std::string& name, const std::vector<uint8_t>& image, int32_t* revision);

}  // namespace sim::module
