// Flash segments and their programming functions.
#include "sim/module/flash.h"

#include <cstring>

#include "payload/payload.h"
#include "payload/standin.h"
#include "sim/module/module_codes.h"
#include "sim/module/object_loader.h"
#include "sim/module/srecord.h"

namespace sim::module {

namespace {

const FlashSegment segments[] = {
    {0, "q7340FlashProgRomboot", "vxWorks_rom.hex", ImageFormat::Srec3},
    {1, "q7340FlashProgVxiga", "vxiga.hex", ImageFormat::Srec2},
    {2, "q7340FlashProgBbbga", "bbbga.hex", ImageFormat::Srec2},
    {3, "q7340FlashProgFibga", "fibga.hex", ImageFormat::Srec2},
    {4, "q7340FlashProgSelftest", "selfTest.out", ImageFormat::Elf},
    {LANBOOT_INDEX, "q7340FlashProgLanboot", "bootrom.hex", ImageFormat::Srec3},
};

bool imageIsSound(const std::vector<uint8_t>& image, ImageFormat format) {
  switch (format) {
    case ImageFormat::Srec3: return srecordImageIsSound(image.data(), image.size(), '3');
    case ImageFormat::Srec2: return srecordImageIsSound(image.data(), image.size(), '2');
    case ImageFormat::Elf: {
      ObjectInfo info;
      return inspectObject(image.data(), image.size(), &info);
    }
  }
  return false;
}

}  // namespace

const FlashSegment* flashSegmentByCommand(const std::string& name) {
  for (const FlashSegment& segment : segments)
    if (name == segment.progCmd) return &segment;
  return nullptr;
}

bool imageRevision(const std::string& name, const std::vector<uint8_t>& image, int32_t* revision) {
  if (image.size() <= UINT32_MAX &&
      standinRevision(image.data(), static_cast<uint32_t>(image.size()), revision) == 0)
    return true;
  // Real firmware carries no mark; an exact copy of a carried file has its revision.
  const PayloadRecord* record = payloadFind(name.c_str());
  if (record != nullptr && record->fileSize == image.size() &&
      std::memcmp(payloadData(record), image.data(), image.size()) == 0) {
    *revision = record->revision;
    return true;
  }
  return false;
}

int32_t programSegment(ModuleState& state, const FlashSegment& segment) {
  auto file = state.files.find(segment.imageName);
  if (file == state.files.end()) return RESULT_NO_FILE;
  if (!imageIsSound(file->second, segment.format)) return RESULT_BAD_IMAGE;
  int32_t revision = 0;
  if (!imageRevision(segment.imageName, file->second, &revision)) return RESULT_NO_REVISION;
  if (segment.index == LANBOOT_INDEX) {
    state.flash.lanboot = revision;
    state.log.push_back("program lanboot " + std::to_string(revision));
  } else {
    state.flash.segment[segment.index] = revision;
    state.log.push_back("program " + std::to_string(segment.index) + " " + std::to_string(revision));
  }
  return RESULT_OK;
}

}  // namespace sim::module
