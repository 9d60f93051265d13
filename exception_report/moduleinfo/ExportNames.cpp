#include "moduleinfo/ExportNames.h"

#include <vector>

namespace RevavaRez {

namespace {

std::vector<std::string> SplitAtPoints(const std::string& name) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    size_t point = name.find('.', from);
    if (point == std::string::npos) break;
    parts.push_back(name.substr(from, point - from));
    from = point + 1;
  }
  parts.push_back(name.substr(from));
  return parts;
}

void SplitDotted(const std::string& name, TExportNameParts& parts) {
  std::vector<std::string> pieces = SplitAtPoints(name);
  if (pieces.size() == 2) {
    parts.UnitName = pieces[0] + ".pas";
    parts.ProcedureName = pieces[1];
  } else if (pieces.size() == 3) {
    parts.UnitName = pieces[0];
    parts.ClassName = pieces[1];
    parts.ProcedureName = pieces[2];
  } else {
    return;
  }
  parts.Kind = 3;
}

// The compiler's decorated form: "@" before each scope, "$" before the
// parameter signature, and "@@" where a scope holds a name that itself
// starts with "@" (a run-time helper such as "@System@@HandleFinally"). That
// name keeps its own scope and becomes "_HandleFinally".
std::string UndecoratedScopes(const std::string& name) {
  std::string text = name.substr(0, name.find('$'));
  if (!text.empty() && text.back() == '@') text.pop_back();
  if (!text.empty()) text.erase(0, 1);
  size_t pair = text.find("@@");
  if (pair != std::string::npos) text.replace(pair, 2, "@_");
  for (char& c : text) {
    if (c == '@') c = '.';
  }
  return text;
}

}  // namespace

TExportNameParts SplitExportName(const std::string& name) {
  TExportNameParts parts;
  const size_t at = name.find('@');
  const size_t point = name.find('.');
  if (!name.empty() && name[0] == '@' && name.compare(0, 2, "@$") != 0) {
    SplitDotted(UndecoratedScopes(name), parts);
  } else if (point != std::string::npos && (at == std::string::npos || point < at)) {
    SplitDotted(name, parts);
  } else if (name.empty() || name[0] != '?') {
    parts.Kind = 2;
    parts.ProcedureName = name;
  }
  if (parts.Kind > 1 && !parts.ProcedureName.empty() && parts.ProcedureName[0] == '@') parts.ProcedureName[0] = '_';
  return parts;
}

}  // namespace RevavaRez
