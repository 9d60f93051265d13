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
};

// Sections are separated by one blank line: the log's reader counts them.
TReportText BuildReportText(const TReportInputs& inputs, const TVezavuStackList& stack, TVezavuModulesList& modules,
                            TVezavuThreadsList* threads, DWORD mainThreadID);

}  // namespace RevavaRez
