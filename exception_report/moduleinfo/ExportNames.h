#pragma once
// The split of an exported name into unit, class and procedure, for an
// address that only the module's exports can name. Pure text work.
#include <cstdint>
#include <string>

namespace RevavaRez {

struct TExportNameParts {
  // 1: nothing could be taken from the name; 2: a procedure name only;
  // 3: unit, class (possibly empty) and procedure.
  uint8_t Kind = 1;
  std::string UnitName;
  std::string ClassName;
  std::string ProcedureName;
};

// "@Unit@Class@Proc$qqrv" and "Unit.Class.Proc" give unit, class and
// procedure; "Unit.Proc" gives "Unit.pas" and the procedure; a plain name is
// the procedure alone; "?" names (C++ decorations) and dotted names of other
// part counts give nothing. A procedure name starting with "@" gets "_" in
// its place.
TExportNameParts SplitExportName(const std::string& name);

}  // namespace RevavaRez
