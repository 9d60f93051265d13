#include "WebState.h"

#include "web/WebHost.h"

namespace brx_test_module {

std::string WebHostsLine() {
  auto flag = [](const char* name, bool value) { return std::string(name) + "=" + (value ? "1" : "0"); };
  return flag("console", RevavaRez::IsConsoleProgram()) + " " + flag("cgi", RevavaRez::IsCGIHost()) + " " +
         flag("wincgi", RevavaRez::IsWinCGIHost()) + " " + flag("isapi", RevavaRez::IsISAPIHost()) + " " +
         flag("intraweb", RevavaRez::IsIntraWebHost()) + " " + flag("web", RevavaRez::IsWebHost()) + " " +
         flag("gui", RevavaRez::IsGUIAllowed());
}

std::string ReportOfSize(size_t bytes) {
  std::string text;
  for (int line = 0; text.size() < bytes; ++line)
    text += "Line " + std::to_string(line) + ":  <value> & \"more\"\r\n";
  return text;
}

}  // namespace brx_test_module
