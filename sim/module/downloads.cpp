// Download, start and unload of object modules. The model does not execute
// object code: an entry point it knows adds its message handlers, any other
// found entry point runs and returns at once.
#include "sim/module/downloads.h"

#include <algorithm>

#include "sim/module/body_reader.h"
#include "sim/module/module_codes.h"
#include "sim/module/object_loader.h"

namespace sim::module {

namespace {

constexpr size_t MAX_MODULE_NAME = 40;
constexpr uint32_t LOAD_ALIGNMENT = 0x10000;
constexpr uint32_t LOWEST_PRIORITY = 255;

std::set<int32_t> tagsAddedBy(const std::string& entry) {
  if (entry == "dldmsgLibInit")
    return {TAG_COMMAND, TAG_FILE_SIZE, TAG_FILE_REMOVE, TAG_FILE_READ, TAG_FILE_WRITE};
  if (entry == "romupdateInit") return {TAG_ROM_REVISIONS};
  return {};
}

// The event a started entry point leaves in the log, with its task's
// parameters, so that a test sees them as the host sent them.
std::string startEvent(const std::string& entry, uint32_t param1, uint32_t priority,
                       uint32_t stackSize) {
  auto text = [](uint32_t word) { return std::to_string(static_cast<int32_t>(word)); };
  return "start " + entry + " param1=" + text(param1) + " priority=" + text(priority) +
         " stackSize=" + text(stackSize);
}

}  // namespace

int32_t downloadAndStart(ModuleState& state, const std::vector<uint8_t>& body) {
  BodyReader reader(body);
  uint32_t param1 = 0, priority = 0, stackSize = 0;
  std::string name, entry;
  if (!reader.word(&param1) || !reader.word(&priority) || !reader.word(&stackSize) ||
      !reader.string(&name) || !reader.string(&entry) || name.empty() || entry.empty())
    return RESULT_MALFORMED_BODY;
  if (name.size() > MAX_MODULE_NAME) return RESULT_NAME_TOO_LONG;
  // The task that runs the entry point: the kernel takes priorities 0 (the
  // most urgent) to 255 and a stack of some bytes.
  if (priority > LOWEST_PRIORITY || static_cast<int32_t>(stackSize) <= 0)
    return RESULT_BAD_TASK;

  ObjectInfo info;
  if (!inspectObject(reader.here(), reader.remaining(), &info)) return RESULT_BAD_OBJECT;
  auto found = info.globals.find(entry);
  if (found == info.globals.end() || !found->second.function) return RESULT_NO_ENTRY_POINT;

  unloadModule(state, name);  // a second download of a name replaces the first
  LoadedModule module;
  module.name = name;
  module.entry = entry;
  // The body's padding is not part of the object: keep its ELF extent.
  module.objectBytes = info.extent;
  uint32_t base = state.nextLoadAddress;
  for (const auto& [symbol, details] : info.globals)
    module.symbols[symbol] = base + details.section * 0x1000u + details.value;
  state.nextLoadAddress += (info.extent / LOAD_ALIGNMENT + 1) * LOAD_ALIGNMENT;
  module.tags = tagsAddedBy(entry);
  state.loaded.push_back(std::move(module));
  state.log.push_back("load " + name);
  state.log.push_back(startEvent(entry, param1, priority, stackSize));
  return RESULT_OK;
}

bool unloadModule(ModuleState& state, const std::string& name) {
  auto it = std::find_if(state.loaded.begin(), state.loaded.end(),
                         [&](const LoadedModule& module) { return module.name == name; });
  if (it == state.loaded.end()) return false;
  state.loaded.erase(it);
  state.log.push_back("unload " + name);
  return true;
}

bool moduleIsLoaded(const ModuleState& state, const std::string& name) {
  return std::any_of(state.loaded.begin(), state.loaded.end(),
                     [&](const LoadedModule& module) { return module.name == name; });
}

bool symbolAddress(const ModuleState& state, const std::string& name, uint32_t* address) {
  for (const LoadedModule& module : state.loaded) {
    auto found = module.symbols.find(name);
    if (found != module.symbols.end()) {
      *address = found->second;
      return true;
    }
  }
  return false;
}

}  // namespace sim::module
