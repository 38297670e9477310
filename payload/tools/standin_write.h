// Build-time helper: deterministic stand-in firmware files of an exact size,
// in the formats of the real ones, each carrying its revision where
// payload/standin.h says. The bytes depend only on the arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class StandinFormat {
  Elf,    // ELF32 big-endian PowerPC relocatable object
  Srec3,  // S0 revision header, S3 data records (4-byte addresses), S9 end
  Srec2,  // S0 revision header, S2 data records (3-byte addresses), S9 end
};

struct StandinFile {
  std::string name;
  uint32_t fileSize = 0;
  int32_t revision = 0;
  StandinFormat format = StandinFormat::Elf;
  std::string entrySymbol;  // ELF only: a global FUNC symbol at .text offset 0; empty: none
};

// Parses "elf", "srec3" or "srec2". Returns false for anything else.
bool standinParseFormat(const std::string& text, StandinFormat* format);

// Writes the file's bytes to *bytes. Returns false with *error set when the
// size cannot be met (too small; odd for an S-record image, whose lines all
// have even length).
bool standinMake(const StandinFile& file, std::vector<unsigned char>* bytes, std::string* error);
