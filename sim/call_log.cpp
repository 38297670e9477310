// The mainframe's log of VISA calls and its fault injection.
#include <cctype>
#include <cinttypes>
#include <cstring>

#include "sim/attributes.h"
#include "sim/mainframe.h"

namespace sim {
namespace {

const char* spaceName(uint64_t space) {
  switch (space) {
    case VI_A16_SPACE: return "A16";
    case VI_A24_SPACE: return "A24";
    case VI_A32_SPACE: return "A32";
    default: return "?";
  }
}

std::string hex(uint64_t value) {
  char text[24];
  snprintf(text, sizeof text, "0x%" PRIX64, value);
  return text;
}

std::string statusString(ViStatus status) {
  return status == VI_SUCCESS ? "0" : hex(static_cast<uint32_t>(status));
}

bool startsWith(const std::string& text, const char* prefix) {
  return text.compare(0, strlen(prefix), prefix) == 0;
}

// viIn8 ... viOut64Ex, not viInstallHandler.
bool isRegisterCall(const std::string& function) {
  for (const char* prefix : {"viIn", "viOut"}) {
    size_t length = strlen(prefix);
    if (startsWith(function, prefix) && function.size() > length &&
        isdigit(static_cast<unsigned char>(function[length])))
      return true;
  }
  return false;
}

}  // namespace

std::string CallRecord::describe() const {
  std::string line = function + "(";
  auto arg = [this](size_t i) { return i < args.size() ? args[i] : 0; };
  if (startsWith(function, "viPeek") || startsWith(function, "viPoke")) {
    // args: bus address (all ones: outside the window), value
    line += arg(0) == UINT64_MAX ? std::string("outside window") : hex(arg(0));
    if (startsWith(function, "viPoke")) line += ", " + hex(arg(1));
    line += ")";
    if (startsWith(function, "viPeek")) line += " -> " + hex(arg(1));
    return line;
  }
  if (startsWith(function, "viMove") || isRegisterCall(function)) {
    // args: space, offset, count or value
    line += std::string(spaceName(arg(0))) + ", " + hex(arg(1)) + ", " + std::to_string(arg(2));
  } else if (function == "viGetAttribute" || function == "viSetAttribute") {
    const char* name = attributeName(static_cast<ViAttr>(arg(0)));
    line += name != nullptr ? std::string(name) : hex(arg(0));
    if (function == "viSetAttribute") line += ", " + std::to_string(arg(1));
  } else {
    bool first = true;
    if (!text.empty()) {
      line += "\"" + text + "\"";
      first = false;
    }
    for (uint64_t value : args) {
      line += (first ? "" : ", ") + hex(value);
      first = false;
    }
  }
  return line + ") = " + statusString(status);
}

std::vector<CallRecord> Mainframe::calls(const std::string& function) const {
  std::vector<CallRecord> result;
  for (const CallRecord& call : log)
    if (call.function == function) result.push_back(call);
  return result;
}

int Mainframe::find(const std::string& prefix, size_t from) const {
  for (size_t i = from; i < log.size(); ++i)
    if (log[i].describe().compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
  return -1;
}

void Mainframe::addFault(const Fault& fault) { faultRules.push_back(fault); }

std::optional<ViStatus> Mainframe::faultFor(const char* function, std::optional<ViAttr> attribute,
                                            const std::string& text) {
  for (Fault& fault : faultRules) {
    if (fault.function != function) continue;
    if (fault.attribute && fault.attribute != attribute) continue;
    if (fault.resource && *fault.resource != text) continue;
    ++fault.seen;
    if (fault.seen == fault.nth || (fault.always && fault.seen > fault.nth)) {
      ++fault.fired;
      return fault.status;
    }
  }
  return std::nullopt;
}

void Mainframe::record(CallRecord call) {
  if (trace != nullptr) fprintf(trace, "%s\n", call.describe().c_str());
  if (logEnabled) log.push_back(std::move(call));
}

}  // namespace sim
