#include "report/GeneralText.h"

#include <cstdio>

#include "core/VArevText.h"

namespace RevavaRez {

namespace {

void AddUnit(std::string& text, uint64_t count, const char* unit, bool withComma) {
  text += std::to_string(count) + " " + unit;
  if (count > 1) text += "s";
  if (withComma) text += ", ";
}

}  // namespace

std::string UpTimeText(uint64_t milliseconds) {
  uint64_t seconds = milliseconds / 1000;
  const uint64_t days = seconds / 86400;
  seconds %= 86400;
  const uint64_t hours = seconds / 3600;
  seconds %= 3600;
  const uint64_t minutes = seconds / 60;
  seconds %= 60;
  std::string text;
  if (days != 0) AddUnit(text, days, "day", true);
  if (hours != 0) AddUnit(text, hours, "hour", true);
  AddUnit(text, minutes, "minute", true);
  AddUnit(text, seconds, "second", false);
  return text;
}

std::string IpText(const std::string& address) {
  if (address.empty()) return "000.000.000.000";
  std::string result, part;
  auto flush = [&]() {
    while (part.size() < 3) part.insert(part.begin(), '0');
    result += part;
    part.clear();
  };
  for (char c : address) {
    if (c == '.') {
      flush();
      result += '.';
    } else {
      part += c;
    }
  }
  flush();
  return result;
}

std::string DiskSizeText(uint64_t bytes) {
  // Hundredths, rounded, in integers so that no floating text rule decides.
  const uint64_t unit = 1073741824ull;
  const uint64_t hundredths = (bytes / unit) * 100 + ((bytes % unit) * 100 + unit / 2) / unit;
  std::string text = std::to_string(hundredths / 100);
  const unsigned fraction = static_cast<unsigned>(hundredths % 100);
  if (fraction != 0) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02u", fraction);
    std::string decimals(digits);
    if (decimals.back() == '0') decimals.pop_back();
    text += "." + decimals;
  }
  return text;
}

std::string SanitiseText(const std::string& text) {
  std::string result(text);
  for (char& c : result) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b != 10 && b != 13 && b < 32) c = ' ';
  }
  return result;
}

std::string AddressField(const char (&field)[16]) {
  size_t length = 0;
  while (length < sizeof field && field[length] != '\0') ++length;
  return std::string(field, length);
}

TAdapterLists FormatAdapterLists(const std::vector<TAdapterRecord>& adapters) {
  TAdapterLists lists;
  const std::string joint = " - ";
  for (const TAdapterRecord& adapter : adapters) {
    lists.Dhcp += adapter.Dhcp ? "ON              - " : "OFF             - ";
    lists.IpAddress += IpText(adapter.Address) + joint;
    lists.Submask += IpText(adapter.Mask) + joint;
    lists.Gateway += IpText(adapter.Gateway) + joint;
    if (!adapter.DnsServers.empty()) {
      lists.Dns1 += IpText(adapter.DnsServers[0]) + joint;
      lists.Dns2 += IpText(adapter.DnsServers.size() > 1 ? adapter.DnsServers[1] : std::string()) + joint;
    }
  }
  for (std::string* list : {&lists.IpAddress, &lists.Submask, &lists.Gateway, &lists.Dns1, &lists.Dns2, &lists.Dhcp}) {
    if (list->size() >= joint.size() && list->compare(list->size() - joint.size(), joint.size(), joint) == 0)
      list->resize(list->size() - joint.size());
  }
  return lists;
}

std::string AccessViolationText(const std::string& address, const std::string& moduleName, bool write,
                                const std::string& accessed) {
  const std::string kind = write ? "Write" : "Read";
  if (!moduleName.empty())
    return "Access violation at address " + address + " in module '" + moduleName + "'. " + kind + " of address " +
           accessed;
  return "Access violation at address " + address + ". " + kind + " of address " + accessed;
}

std::string WithClosingPeriod(const std::string& text) {
  if (!text.empty() && text.back() == '.') return text;
  return text + ".";
}

std::string ProcessorText(const std::string& name, const std::string& vendor, const std::string& identifier) {
  const std::string trimmedName = Trim(name);
  if (!trimmedName.empty()) return trimmedName;
  const std::string v = Trim(vendor), id = Trim(identifier);
  if (id.empty()) return v.empty() ? "Unknown processor" : v;
  return v + " - " + id;
}

std::vector<std::string> CommandLineParameters(const std::string& commandLine) {
  std::vector<std::string> parameters;
  size_t i = 0;
  const size_t n = commandLine.size();
  // The program name ends at the closing quote or the first blank; it knows
  // no backslash rules.
  if (i < n && commandLine[i] == '"') {
    ++i;
    while (i < n && commandLine[i] != '"') ++i;
    if (i < n) ++i;
  } else {
    while (i < n && commandLine[i] != ' ' && commandLine[i] != '\t') ++i;
  }
  for (;;) {
    while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    if (i >= n) break;
    std::string parameter;
    bool quoted = false;
    while (i < n && (quoted || (commandLine[i] != ' ' && commandLine[i] != '\t'))) {
      size_t backslashes = 0;
      while (i < n && commandLine[i] == '\\') {
        ++backslashes;
        ++i;
      }
      if (i < n && commandLine[i] == '"') {
        parameter.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          parameter += '"';
        } else if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
          // A doubled quote inside quotes stands for one quote.
          parameter += '"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        parameter.append(backslashes, '\\');
        if (i < n && (quoted || (commandLine[i] != ' ' && commandLine[i] != '\t'))) parameter += commandLine[i++];
      }
    }
    parameters.push_back(parameter);
  }
  return parameters;
}

std::string ParametersText(const std::vector<std::string>& parameters) {
  std::string text;
  for (const std::string& parameter : parameters) {
    if (!text.empty()) text += ' ';
    text += '"' + parameter + '"';
  }
  return text;
}

}  // namespace RevavaRez
