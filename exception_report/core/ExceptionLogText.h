#pragma once
// The pure text rules of the report: escaping for HTML and rich text, the
// mail date and the system's version name. No platform header.
#include <string>

#include "core/DateTime.h"

namespace RevavaRez {

inline std::string IfText(bool condition, const std::string& a, const std::string& b = std::string()) {
  return condition ? a : b;
}
// Each run of characters below 32 becomes one space.
std::string FlattenControlChars(const std::string& text);
std::string PadRight(const std::string& text, size_t width);
std::string EscapeHtml(const std::string& text);
std::string EscapeRichText(const std::string& text);

// "Wed, 31 Jan 2007 23:59:59 +0800"
std::string MailDateText(TDateTime date, int zoneHours);
// The platform identifier is 1 for the 9x family and 2 for NT.
std::string WindowsVersionText(int platformId, int major, int minor, const std::string& servicePack);

}  // namespace RevavaRez
