#include "report/ReportText.h"

#include "moduleinfo/ModulesList.h"
#include "options/VezavuModuleOptions.h"
#include "report/CpuSection.h"
#include "report/GeneralSection.h"
#include "report/ReportTables.h"
#include "stack/ThreadHeader.h"
#include "stack/ThreadsList.h"

namespace RevavaRez {

namespace {

std::vector<std::string> TextsFrom(const TVezavuModuleOptions& options, int first, int last) {
  std::vector<std::string> texts;
  for (int index = first; index <= last; ++index) texts.push_back(options.TextAt(index));
  return texts;
}

}  // namespace

std::string ReportSectionsText(const std::string& general, const std::string& callStack,
                               const std::string& modules, const std::string& cpu) {
  // The general text's own line ends are taken off and one line end and one
  // blank line put back, whatever its last section left.
  std::string text = general;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text + "\r\n\r\n" + callStack + modules + cpu;
}

TReportText BuildReportText(const TReportInputs& inputs, const TVezavuStackList& stack,
                            TVezavuModulesList& modules, TVezavuThreadsList* threads, DWORD mainThreadID) {
  TReportText text;
  const std::string general = BuildLogText(inputs);
  if (!inputs.Options) {
    text.Text = general;
    return text;
  }
  const TVezavuModuleOptions& options = *inputs.Options;

  const TThreadHeaderFn header = [&](DWORD threadID, bool firstEntry, bool running) {
    return ThreadHeaderText(options, threadID, firstEntry, running, threads, mainThreadID);
  };
  const std::string callStack =
      CallStackTableText(stack, options.TextAt(7), TextsFrom(options, 62, 67), options.StackFlags(),
                         EntryKindMask(options.StackFlags()), header);

  std::string modulesText;
  std::vector<const TVezavuModuleInfo*> records;
  const bool writeModules = (options.LogFlags() & 0x10) != 0;
  {
    // Walking the records needs the list's lock; nothing below takes another.
    TModulesLock lock;
    if (writeModules)
      for (const TVezavuModuleInfo* record : modules.List()) records.push_back(record);
    modulesText = ModulesTableText(writeModules, options.TextAt(9), TextsFrom(options, 84, 90), records);
  }

  const TCpuTexts labels{options.TextAt(91), options.TextAt(92), options.TextAt(93)};
  text.CpuText =
      SystemCpuSectionText((options.LogFlags() & 0x20) != 0, labels, inputs.Params.Context, inputs.Address);
  text.Text = ReportSectionsText(general, callStack, modulesText, text.CpuText);
  text.GeneralLength = text.Text.size() - callStack.size() - modulesText.size() - text.CpuText.size();
  return text;
}

}  // namespace RevavaRez
