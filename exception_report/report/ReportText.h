#pragma once
// The whole text of a report: general, call stack, modules, CPU.
#include <string>

#include "report/ReportInputs.h"

namespace RevavaRez {

class TVezavuModulesList;
class TVezavuStackList;
class TVezavuThreadsList;

struct TReportText {
  std::string Text;
  // The CPU section alone, for the dialog's CPU page.
  std::string CpuText;
  // Where the general section and its blank line end in Text: what goes
  // right after the general section is inserted there.
  size_t GeneralLength = 0;
};

// The sections in the order the log's reader expects them, the general one
// given one blank line after it; the tables and the CPU section bring their
// own. The reader counts those blank lines to find the CPU section.
std::string ReportSectionsText(const std::string& general, const std::string& callStack,
                               const std::string& modules, const std::string& cpu);

// Sections are separated by one blank line: the log's reader counts them.
TReportText BuildReportText(const TReportInputs& inputs, const TVezavuStackList& stack,
                            TVezavuModulesList& modules, TVezavuThreadsList* threads, DWORD mainThreadID);

}  // namespace RevavaRez
