// Reading and writing the flash state file.
#include "sim/module/state_file.h"

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace sim::module {

namespace {

std::map<std::string, int32_t*> keys(FlashRevisions* flash) {
  std::map<std::string, int32_t*> map;
  for (int i = 0; i < SEGMENT_COUNT; ++i) map["segment" + std::to_string(i)] = &flash->segment[i];
  map["lanboot"] = &flash->lanboot;
  map["selftestRecorded"] = &flash->selftestRecorded;
  return map;
}

}  // namespace

bool saveFlash(const std::string& path, const FlashRevisions& flash) {
  std::ofstream out(path, std::ios::trunc);
  if (!out) return false;
  out << "# simulated Q7340 module: flash revisions\n";
  for (int i = 0; i < SEGMENT_COUNT; ++i) out << "segment" << i << ' ' << flash.segment[i] << '\n';
  out << "lanboot " << flash.lanboot << '\n';
  out << "selftestRecorded " << flash.selftestRecorded << '\n';
  out.flush();
  return static_cast<bool>(out);
}

bool loadFlash(const std::string& path, FlashRevisions* flash) {
  std::ifstream in(path);
  if (!in) return false;
  FlashRevisions read;
  std::map<std::string, int32_t*> wanted = keys(&read);
  std::set<std::string> found;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string key, rest;
    long long value = 0;
    if (!(fields >> key >> value) || (fields >> rest)) return false;
    auto slot = wanted.find(key);
    if (slot == wanted.end() || !found.insert(key).second || value < INT32_MIN ||
        value > INT32_MAX)
      return false;
    *slot->second = static_cast<int32_t>(value);
  }
  if (found.size() != wanted.size()) return false;
  *flash = read;
  return true;
}

}  // namespace sim::module
