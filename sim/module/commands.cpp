// The module functions the host executes by name, in one table, and the
// parsing of their typed parameters.
#include "sim/module/commands.h"

#include <cerrno>
#include <cstdlib>

#include "sim/module/body_reader.h"
#include "sim/module/downloads.h"
#include "sim/module/flash.h"
#include "sim/module/module_codes.h"

namespace sim::module {

namespace {

constexpr int MAX_PARAMETERS = 10;

using Parameters = std::vector<CommandParameter>;

// Decimal text, optional sign, within 32 bits.
bool parseInteger(const std::string& text, int32_t* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || text[0] == ' ' || parsed < INT32_MIN || parsed > INT32_MAX)
    return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

// Reads the pairs after the name; false for a malformed list.
bool parseParameters(const ModuleState& state, BodyReader& reader, Parameters* parameters) {
  while (!reader.onlyPaddingLeft()) {
    if (parameters->size() == MAX_PARAMETERS) return false;
    CommandParameter parameter;
    std::string type;
    if (!reader.string(&type) || !reader.string(&parameter.text)) return false;
    if (type.empty() || parameter.text.empty()) return false;
    parameter.type = type[0];
    switch (parameter.type) {
      case 'I':
        if (!parseInteger(parameter.text, &parameter.integer)) return false;
        break;
      case 'S': break;
      case 'L': {
        uint32_t address = 0;
        if (!symbolAddress(state, parameter.text, &address)) return false;
        parameter.integer = static_cast<int32_t>(address);
        break;
      }
      default: return false;
    }
    parameters->push_back(std::move(parameter));
  }
  return true;
}

bool hasParameter(const Parameters& parameters, char type) {
  return !parameters.empty() && parameters[0].type == type;
}

struct Call {
  ModuleState& state;
  const ModuleConfig& config;
  const Parameters& parameters;
  CommandOutcome& outcome;
};

// The six programming functions share one body; the segment comes from the name.
void programFunction(Call& call) {
  const FlashSegment* segment = flashSegmentByCommand(call.outcome.name);
  call.outcome.result = programSegment(call.state, *segment);
  if (call.outcome.result == RESULT_OK) call.outcome.busySeconds = call.config.programTime;
}

void setSelftestRevision(Call& call) {
  if (!hasParameter(call.parameters, 'I')) return;
  int32_t revision = call.parameters[0].integer;
  call.state.flash.selftestRecorded = revision;
  call.state.log.push_back("selftest-rev " + std::to_string(revision));
  call.outcome.result = RESULT_OK;
}

// Only the newer operating system generation keeps a recorded revision.
void getSelftestRevision(Call& call) {
  if (call.state.flash.segment[0] >= NEWER_GENERATION_OS)
    call.outcome.result = call.state.flash.selftestRecorded;
}

void unload(Call& call) {
  if (!hasParameter(call.parameters, 'S')) return;
  call.outcome.result =
      unloadModule(call.state, call.parameters[0].text) ? RESULT_OK : RESULT_NOT_LOADED;
}

void reboot(Call& call) {
  call.outcome.reboot = true;
  call.outcome.result = RESULT_OK;
}

struct ModuleFunction {
  const char* name;
  void (*run)(Call& call);  // sets outcome.result; it starts as -1
  bool programs;            // takes the programming time when it succeeds or an injected failure
};

const ModuleFunction functions[] = {
    {"q7340FlashProgRomboot", programFunction, true},
    {"q7340FlashProgVxiga", programFunction, true},
    {"q7340FlashProgBbbga", programFunction, true},
    {"q7340FlashProgFibga", programFunction, true},
    {"q7340FlashProgSelftest", programFunction, true},
    {"q7340FlashProgLanboot", programFunction, true},
    {"q7340FlashProgSelftestRev", setSelftestRevision, false},
    {"q7340FlashGetSelftestRev", getSelftestRevision, false},
    {"unld", unload, false},
    {"reboot", reboot, false},
};

const ModuleFunction* findFunction(const std::string& name) {
  for (const ModuleFunction& function : functions)
    if (name == function.name) return &function;
  return nullptr;
}

}  // namespace

CommandOutcome executeCommand(ModuleState& state, const ModuleConfig& config,
                              const std::vector<uint8_t>& body) {
  CommandOutcome outcome;
  outcome.result = RESULT_ERROR;
  BodyReader reader(body);
  Parameters parameters;
  if (!reader.string(&outcome.name)) return outcome;
  if (!parseParameters(state, reader, &parameters)) return outcome;

  const ModuleFunction* function = findFunction(outcome.name);
  if (function == nullptr) return outcome;
  auto failing = config.faults.failingCommands.find(outcome.name);
  if (failing != config.faults.failingCommands.end()) {
    // An injected failure: the function runs as far as its failure, the flash stays.
    outcome.result = failing->second;
    if (function->programs) outcome.busySeconds = config.programTime;
    return outcome;
  }
  Call call{state, config, parameters, outcome};
  function->run(call);
  return outcome;
}

}  // namespace sim::module
