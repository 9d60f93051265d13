#include "report/LogText.h"

#include "core/StringList.h"

namespace RevavaRez {

std::vector<std::string> SplitLines(const std::string& text) {
  TStringList list;
  list.SetText(text);
  std::vector<std::string> lines;
  lines.reserve(static_cast<size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i) lines.push_back(list[i]);
  return lines;
}

}  // namespace RevavaRez
