#include "report/ReportText.h"

#include "report/GeneralSection.h"

namespace RevavaRez {

TReportText BuildReportText(const TReportInputs& inputs, const TVezavuStackList&, TVezavuModulesList&,
                            TVezavuThreadsList*, DWORD) {
  TReportText text;
  text.Text = BuildLogText(inputs);
  return text;
}

}  // namespace RevavaRez
