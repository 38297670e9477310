// File requests on the module's RAM file system.
#include "sim/module/ram_files.h"

#include <string>

#include "sim/module/body_reader.h"
#include "sim/module/downloads.h"
#include "sim/module/module_codes.h"

namespace sim::module {

namespace {

constexpr size_t MAX_FILE_NAME = 40;
constexpr uint8_t FILE_PADDING = 0x0A;

// The name a size, read or remove request opens with; a negative result when
// the body holds no sound one.
int32_t requestName(const std::vector<uint8_t>& body, std::string* name) {
  BodyReader reader(body);
  if (!reader.string(name) || name->empty()) return RESULT_MALFORMED_BODY;
  return RESULT_OK;
}

}  // namespace

int32_t fileWrite(ModuleState& state, const std::vector<uint8_t>& body) {
  BodyReader reader(body);
  uint32_t length = 0;
  std::string name;
  if (!reader.word(&length)) return RESULT_MALFORMED_BODY;
  if (!reader.string(&name) || name.empty()) return RESULT_MALFORMED_BODY;
  if (name.size() > MAX_FILE_NAME) return RESULT_NAME_TOO_LONG;
  if (length > reader.remaining()) return RESULT_LENGTH_BEYOND_BODY;
  const uint8_t* bytes = reader.here();
  reader.skip(length);
  // The host pads the file with line feeds to a whole word and no further;
  // anything else there means the length word is not the file's length.
  if (!reader.onlyFillToWordLeft(FILE_PADDING)) return RESULT_BAD_PADDING;
  state.files[name].assign(bytes, bytes + length);
  state.log.push_back("store " + name);
  return RESULT_OK;
}

std::vector<uint32_t> fileRead(const ModuleState& state, const std::vector<uint8_t>& body) {
  std::string name;
  int32_t status = requestName(body, &name);
  if (status != RESULT_OK) return {static_cast<uint32_t>(status)};
  auto file = state.files.find(name);
  if (file == state.files.end()) return {static_cast<uint32_t>(RESULT_NO_FILE)};
  std::vector<uint32_t> reply = {0, static_cast<uint32_t>(file->second.size())};
  std::vector<uint32_t> bytes = packBigEndian(file->second.data(), file->second.size());
  reply.insert(reply.end(), bytes.begin(), bytes.end());
  return reply;
}

int32_t fileSize(const ModuleState& state, const std::vector<uint8_t>& body) {
  std::string name;
  int32_t status = requestName(body, &name);
  if (status != RESULT_OK) return status;
  auto file = state.files.find(name);
  if (file == state.files.end()) return RESULT_NO_FILE;
  return static_cast<int32_t>(file->second.size());
}

int32_t fileRemove(ModuleState& state, const std::vector<uint8_t>& body) {
  std::string name;
  int32_t status = requestName(body, &name);
  if (status != RESULT_OK) return status;
  if (state.files.erase(name) != 0) {
    state.log.push_back("remove " + name);
    return RESULT_OK;
  }
  return unloadModule(state, name) ? RESULT_OK : RESULT_NO_FILE;
}

}  // namespace sim::module
