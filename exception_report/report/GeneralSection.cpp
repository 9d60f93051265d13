#include "report/GeneralSection.h"

#include <functional>
#include <stdexcept>

#include "core/ExceptionLog.h"
#include "core/Hooks.h"
#include "core/ProgressStep.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "moduleinfo/ModuleInfo.h"
#include "moduleinfo/ModulesList.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptions.h"
#include "report/GeneralValues.h"
#include "report/LogItem.h"
#include "report/ReportFiles.h"
#include "web/WebHost.h"

namespace RevavaRez {

int GeneralFaultField = -1;

namespace {

const int32_t kStepStart = 702200;
const int32_t kStepFirstGroup = 7022000;
const int32_t kStepFirstField = 702201;
const int32_t kStepActiveControls = 7022091;

bool FieldShown(const TVezavuModuleOptions& options, int bit) {
  const TGeneralFieldMask& mask = options.GeneralFieldMask();
  return (mask[static_cast<size_t>(bit / 8)] >> (bit % 8)) & 1;
}

struct TModuleTexts {
  std::string Description, Version;
  TDateTime Compiled = 0;
};

TModuleTexts ModuleTexts() {
  TModuleTexts texts;
  TModulesLock lock;
  if (TVezavuModuleInfo* main = Modules().FindByHandle(GetModuleHandleA(nullptr))) {
    texts.Description = main->Description.empty() ? ExtractFileName(main->FileName) : main->Description;
    texts.Version = main->Version;
  }
  if (TVezavuModuleInfo* own = Modules().FindByHandle(ThisModule())) texts.Compiled = own->Compiled;
  if (texts.Description.empty()) texts.Description = ExtractFileName(ModuleFileNameOf(nullptr));
  return texts;
}

std::string ModuleNameAt(uintptr_t address) {
  if (address == 0) return std::string();
  MEMORY_BASIC_INFORMATION region = {};
  if (VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) != sizeof region ||
      region.State != MEM_COMMIT || !region.AllocationBase)
    return std::string();
  return ExtractFileName(ModuleFileNameOf(static_cast<HMODULE>(region.AllocationBase)));
}

}  // namespace

std::string BuildLogText(const TReportInputs& inputs) {
  ProgressStep = kStepStart;
  if (!inputs.Options) return "RevavaRez 5.1.10\r\n\r\n";
  const TVezavuModuleOptions& options = *inputs.Options;
  const TAdapterLists network = AdapterLists();
  const bool windowed = !IsConsoleProgram() && !LibraryHooks.IsWebHost();
  const std::string ownFile = ModuleFileNameOf(ThisModule());

  TLogItem item(0);
  int field = 0;
  // Each value is made only when its field shows, so a hidden field's
  // failure cannot end the report; the step names the field being made.
  auto add = [&](int label, const std::function<std::string()>& value, bool allowed = true) {
    const int bit = field++;
    ProgressStep = kStepFirstField + bit;
    const bool shown = allowed && FieldShown(options, bit);
    if (bit == GeneralFaultField) throw std::runtime_error("test fault");
    item.AddItem(options.TextAt(label), shown ? value() : std::string(), shown);
  };

  item.AddSection(options.TextAt(22));
  ProgressStep = kStepFirstGroup;
  add(23, [] { return MailDate(LibraryState().StartTime); });
  TModuleTexts module;
  bool moduleRead = false;
  auto moduleTexts = [&]() -> const TModuleTexts& {
    if (!moduleRead) module = ModuleTexts();
    moduleRead = true;
    return module;
  };
  add(24, [&] { return moduleTexts().Description; });
  add(25, [&] { return moduleTexts().Version; });
  add(26, [] { return ParametersValue(); });
  add(27, [&] {
    const TDateTime compiled = moduleTexts().Compiled;
    return compiled == 0 ? std::string() : MailDate(compiled + TimeZoneHours() / 24.0);
  });

  item.AddSection(options.TextAt(28));
  add(29, [] { return MailDate(ExceptionTime); });
  add(30, [&] { return inputs.Address == 0 ? std::string() : AddressText(inputs.Address); });
  add(31, [&] { return ModuleNameAt(inputs.Address); });
  add(32, [&] { return ExceptionTypeText(inputs.ExceptionObject); });
  add(33, [&] { return ExceptionMessageText(inputs.ExceptionObject, inputs.Address, inputs.SystemRecord); });

  ProgressStep = kStepActiveControls;
  item.AddSection(options.TextAt(34));
  add(35, [] { return ForegroundClassText(); }, windowed);
  add(36, [] { return ForegroundWindowText(); }, windowed);
  add(37, [&] { return inputs.Params.FocusedClass; }, windowed);
  add(38, [&] { return SanitiseText(inputs.Params.FocusedText); }, windowed);

  item.AddSection(options.TextAt(39));
  add(40, [] { return ComputerName(); });
  add(41, [] { return UserNameText(); });
  add(42, [] { return TotalMemoryText(); });
  add(43, [] { return FreeMemoryText(); });
  add(44, [&] { return DiskTotalText(ownFile); });
  add(45, [&] { return DiskFreeText(ownFile); });
  add(46, [] { return UpTimeText(); });
  add(47, [] { return ProcessorName(HKEY_LOCAL_MACHINE, ProcessorKey); });
  add(48, [] { return DisplayModeText(); });

  item.AddSection(options.TextAt(49));
  add(50, [] { return WindowsVersionName(); });
  add(51, [] { return BuildNumberText(); });
  add(52, [] { return ServicePackText(); });
  add(53, [] { return LocaleName(); });

  item.AddSection(options.TextAt(54));
  add(55, [&] { return network.IpAddress; });
  add(56, [&] { return network.Submask; });
  add(57, [&] { return network.Gateway; });
  add(58, [&] { return network.Dns1; });
  add(59, [&] { return network.Dns2; });
  add(60, [&] { return network.Dhcp; });

  return "RevavaRez 5.1.10\r\n\r\n" + item.GetText();
}

}  // namespace RevavaRez
