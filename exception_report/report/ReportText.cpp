#include "report/ReportText.h"

#include "options/VezavuModuleOptions.h"
#include "report/CpuSection.h"
#include "report/GeneralSection.h"
#include "stack/ThreadContext.h"

namespace RevavaRez {

TReportText BuildReportText(const TReportInputs& inputs, const TVezavuStackList&, TVezavuModulesList&,
                            TVezavuThreadsList*, DWORD) {
  TReportText text;
  text.Text = BuildLogText(inputs);
  if (inputs.Options) {
    const TVezavuModuleOptions& options = *inputs.Options;
    const TCpuTexts labels{options.TextAt(91), options.TextAt(92), options.TextAt(93)};
    text.CpuText = SystemCpuSectionText((options.LogFlags() & 0x20) != 0, labels, inputs.Params.Context,
                                        inputs.Address);
    // One blank line before the section: the log's reader counts them.
    text.Text += "\r\n" + text.CpuText;
  }
  return text;
}

}  // namespace RevavaRez
