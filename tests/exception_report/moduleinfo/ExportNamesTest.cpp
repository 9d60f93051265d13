// The split of exported names into unit, class and procedure.
#include <gtest/gtest.h>

#include <string>

#include "moduleinfo/ExportNames.h"

using RevavaRez::SplitExportName;
using RevavaRez::TExportNameParts;

namespace {

struct TNameCase {
  const char* Name;
  int Kind;
  const char* Unit;
  const char* Class;
  const char* Procedure;
};

const TNameCase kNameCases[] = {
    // The compiler's decorated forms.
    {"@Unit@Class@Proc$qqrv", 3, "Unit", "Class", "Proc"},
    {"@Unit@Proc$qqrv", 3, "Unit.pas", "", "Proc"},
    {"@Unit@Proc", 3, "Unit.pas", "", "Proc"},
    {"@Unit@Proc@", 3, "Unit.pas", "", "Proc"},
    {"@System@@HandleFinally$qqrv", 3, "System.pas", "", "_HandleFinally"},
    {"@Unit@Class@@Helper$qqrv", 3, "Unit", "Class", "_Helper"},
    {"@Lone$qqrv", 1, "", "", ""},
    {"@A@B@C@D$qqrv", 1, "", "", ""},
    // "@$" starts no scope: a plain name, its "@" made "_".
    {"@$xp$Class", 2, "", "", "_$xp$Class"},
    // Dotted names.
    {"Unit.Proc", 3, "Unit.pas", "", "Proc"},
    {"Unit.Class.Proc", 3, "Unit", "Class", "Proc"},
    {"Unit.@Proc", 3, "Unit.pas", "", "_Proc"},
    {"A.B.C.D", 1, "", "", ""},
    // A point only after an "@" is no dotted name.
    {"name@8.x", 2, "", "", "name@8.x"},
    // Plain and C++ names.
    {"PlainName", 2, "", "", "PlainName"},
    {"_Proc@4", 2, "", "", "_Proc@4"},
    {"?Cpp@@YAXXZ", 1, "", "", ""},
};

TEST(ExportNames, SplitsEveryForm) {
  for (const TNameCase& c : kNameCases) {
    SCOPED_TRACE(c.Name);
    TExportNameParts parts = SplitExportName(c.Name);
    EXPECT_EQ(parts.Kind, c.Kind);
    EXPECT_EQ(parts.UnitName, c.Unit);
    EXPECT_EQ(parts.ClassName, c.Class);
    EXPECT_EQ(parts.ProcedureName, c.Procedure);
  }
}

}  // namespace
