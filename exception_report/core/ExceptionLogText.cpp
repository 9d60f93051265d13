#include "core/ExceptionLogText.h"

#include <cstdio>

#include "core/VArevText.h"

namespace RevavaRez {

std::string FlattenControlChars(const std::string& text) {
  std::string flat;
  flat.reserve(text.size());
  bool inRun = false;
  for (char c : text) {
    bool control = static_cast<unsigned char>(c) < 32;
    if (control && !inRun) flat += ' ';
    if (!control) flat += c;
    inRun = control;
  }
  return flat;
}

std::string PadRight(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string EscapeHtml(const std::string& text) {
  std::string s = ReplaceAll(text, "&", "&amp;");
  s = ReplaceAll(s, "\"", "&quot;");
  s = ReplaceAll(s, "'", "&#039;");
  s = ReplaceAll(s, "<", "&lt;");
  s = ReplaceAll(s, ">", "&gt;");
  s = ReplaceAll(s, "  ", "&nbsp;&nbsp;");
  return ReplaceAll(s, "\r\n", "<br>\r\n");
}

std::string EscapeRichText(const std::string& text) {
  std::string s = ReplaceAll(text, "\\", "\\\\");
  s = ReplaceAll(s, "{", "\\{");
  s = ReplaceAll(s, "}", "\\}");
  return ReplaceAll(s, "\r\n", "\\par\r\n");
}

std::string MailDateText(TDateTime date, int zoneHours) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string zone = std::to_string(zoneHours);
  if (zone[0] != '-') zone = "+" + zone;
  if (zone.size() == 2) Insert("0", zone, 2);
  zone += "00";
  TDateParts p = DecodeDateTime(date);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %s", days[p.DayOfWeek], p.Day,
                months[(p.Month - 1) % 12], p.Year, p.Hour, p.Minute, p.Second, zone.c_str());
  return text;
}

std::string WindowsVersionText(int platformId, int major, int minor, const std::string& servicePack) {
  std::string name = "Microsoft Windows ";
  std::string service = Trim(servicePack);
  if (platformId == 1) {
    if (minor < 10) return name + (service == "B" ? "95 OSR 2" : "95");
    if (minor < 90) return name + (service == "A" ? "98 SE" : "98");
    if (minor == 90) return name + "ME";
  } else if (platformId == 2) {
    if (major == 4) return name + "NT 4.0";
    if (major == 5 && minor == 0) return name + "2000";
    if (major == 5 && minor == 1) return name + "XP";
    if (major == 5 && minor == 2) return name + "2003";
    if (major == 6) return name + "Vista";
  }
  return name;
}

}  // namespace RevavaRez
