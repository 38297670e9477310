// Parsing of VXI resource names and matching of search expressions.
#include "sim/resource_name.h"

#include <cctype>
#include <vector>

namespace sim {
namespace {

std::string upper(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return result;
}

bool allDigits(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (!isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::vector<std::string> splitAtDoubleColons(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find("::", start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 2;
  }
}

bool sameLetter(char a, char b) {
  return toupper(static_cast<unsigned char>(a)) == toupper(static_cast<unsigned char>(b));
}

bool matchHere(const char* pattern, const char* text) {
  if (*pattern == '\0') return *text == '\0';
  char atom = *pattern;
  auto accepts = [atom](char c) { return c != '\0' && (atom == '?' || sameLetter(atom, c)); };
  char repeat = pattern[1];
  if (repeat == '*' || repeat == '+') {
    const char* t = text;
    if (repeat == '+') {
      if (!accepts(*t)) return false;
      ++t;
    }
    for (;;) {
      if (matchHere(pattern + 2, t)) return true;
      if (!accepts(*t)) return false;
      ++t;
    }
  }
  return accepts(*text) && matchHere(pattern + 1, text + 1);
}

}  // namespace

ViStatus parseResourceName(const std::string& name, ResourceName* parsed) {
  std::vector<std::string> parts = splitAtDoubleColons(upper(name));
  const std::string& interface = parts[0];
  size_t letters = 0;
  while (letters < interface.size() && isalpha(static_cast<unsigned char>(interface[letters])))
    ++letters;
  std::string type = interface.substr(0, letters);
  std::string board = interface.substr(letters);
  if (type.empty() || (!board.empty() && !allDigits(board)) || parts.size() < 2)
    return VI_ERROR_INV_RSRC_NAME;
  for (const std::string& part : parts)
    if (part.empty()) return VI_ERROR_INV_RSRC_NAME;
  if (type != "VXI") return VI_ERROR_RSRC_NFOUND;

  ResourceName result;
  result.board = board.empty() ? 0 : std::stoi(board);
  if (parts.size() == 2 && parts[1] == "MEMACC") {
    result.memAcc = true;
  } else if (allDigits(parts[1]) && (parts.size() == 2 || (parts.size() == 3 && parts[2] == "INSTR"))) {
    result.la = std::stoi(parts[1]);
    if (result.la > 255) return VI_ERROR_INV_RSRC_NAME;
  } else if ((parts.size() == 2 && (parts[1] == "BACKPLANE" || parts[1] == "SERVANT")) ||
             (parts.size() == 3 && allDigits(parts[1]) && parts[2] == "BACKPLANE")) {
    return VI_ERROR_RSRC_NFOUND;
  } else {
    return VI_ERROR_INV_RSRC_NAME;
  }
  if (result.board != 0) return VI_ERROR_RSRC_NFOUND;
  *parsed = result;
  return VI_SUCCESS;
}

std::string canonicalName(const ResourceName& name) {
  std::string interface = "VXI" + std::to_string(name.board);
  if (name.memAcc) return interface + "::MEMACC";
  return interface + "::" + std::to_string(name.la) + "::INSTR";
}

bool matchesExpression(const std::string& expression, const std::string& descriptor) {
  return matchHere(expression.c_str(), descriptor.c_str());
}

}  // namespace sim
