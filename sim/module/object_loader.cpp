// ELF32 big-endian relocatable objects for PowerPC: the checks and the symbol
// table walk. Every offset taken from the file is checked against its size
// first, since the bytes come from the host.
#include "sim/module/object_loader.h"

#include <utility>

namespace sim::module {

namespace {

constexpr uint32_t EHDR_SIZE = 52;
constexpr uint32_t SHDR_SIZE = 40;
constexpr uint32_t SYM_SIZE = 16;
constexpr uint16_t ET_REL = 1;
constexpr uint16_t EM_PPC = 20;
constexpr uint32_t SHT_SYMTAB = 2;
constexpr uint32_t SHT_NOBITS = 8;
constexpr uint8_t STB_GLOBAL = 1;
constexpr uint8_t STT_FUNC = 2;
constexpr uint16_t SHN_UNDEF = 0;

uint32_t big16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
uint32_t big32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

struct Section {
  uint32_t type, offset, size, link, entsize;
};

Section sectionAt(const uint8_t* header) {
  return {big32(header + 4), big32(header + 16), big32(header + 20), big32(header + 24),
          big32(header + 36)};
}

bool inside(uint64_t offset, uint64_t length, size_t size) { return offset + length <= size; }

}  // namespace

bool inspectObject(const uint8_t* data, size_t size, ObjectInfo* info) {
  if (size < EHDR_SIZE) return false;
  const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1 /* 32-bit */, 2 /* big-endian */};
  for (size_t i = 0; i < sizeof ident; ++i)
    if (data[i] != ident[i]) return false;
  if (big16(data + 16) != ET_REL || big16(data + 18) != EM_PPC) return false;
  uint64_t shoff = big32(data + 32);
  uint32_t shentsize = big16(data + 46);
  uint32_t shnum = big16(data + 48);
  if (shnum == 0 || shentsize < SHDR_SIZE || !inside(shoff, uint64_t{shnum} * shentsize, size))
    return false;

  ObjectInfo result;
  uint64_t extent = shoff + uint64_t{shnum} * shentsize;
  for (uint32_t i = 0; i < shnum; ++i) {
    Section section = sectionAt(data + shoff + uint64_t{i} * shentsize);
    if (section.type == SHT_NOBITS) continue;
    if (!inside(section.offset, section.size, size)) return false;
    if (section.offset + uint64_t{section.size} > extent) extent = section.offset + uint64_t{section.size};
  }
  result.extent = static_cast<uint32_t>(extent);

  for (uint32_t i = 0; i < shnum; ++i) {
    Section symtab = sectionAt(data + shoff + uint64_t{i} * shentsize);
    if (symtab.type != SHT_SYMTAB) continue;
    if (symtab.entsize < SYM_SIZE || symtab.link >= shnum) return false;
    Section strtab = sectionAt(data + shoff + uint64_t{symtab.link} * shentsize);
    if (strtab.type == SHT_NOBITS) return false;
    for (uint64_t at = 0; at + SYM_SIZE <= symtab.size; at += symtab.entsize) {
      const uint8_t* symbol = data + symtab.offset + at;
      uint8_t bind = symbol[12] >> 4, type = symbol[12] & 0x0F;
      uint16_t shndx = static_cast<uint16_t>(big16(symbol + 14));
      if (bind != STB_GLOBAL || shndx == SHN_UNDEF) continue;
      uint32_t name = big32(symbol);
      if (name >= strtab.size) return false;
      const char* start = reinterpret_cast<const char*>(data + strtab.offset + name);
      uint32_t length = 0;
      while (name + length < strtab.size && start[length] != '\0') ++length;
      if (name + length == strtab.size) return false;  // unterminated name
      result.globals[std::string(start, length)] = {big32(symbol + 4), shndx, type == STT_FUNC};
    }
  }
  *info = std::move(result);
  return true;
}

}  // namespace sim::module
