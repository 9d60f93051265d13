#include "options/CurrentRevavaRezOptions.h"

#include "base/Exception.h"

namespace RevavaRez {

namespace {
TVezavuModuleOptionsEx* NoModuleRecord() noexcept { return nullptr; }
}  // namespace

TVezavuModuleOptionsEx* (*ModuleRecordOptions)() noexcept = NoModuleRecord;

TVezavuModuleOptionsEx* CurrentRevavaRezOptions() {
  TVezavuModuleOptionsEx* options = ModuleRecordOptions();
  if (options == nullptr)
    throw EAssertionFailed(
        "\r\nCannot use 'CurrentRevavaRezOptions' function without activate RevavaRez.\r\n"
        "To activate RevavaRez use the new IDE \"Project/RevavaRez Options...\" menu.",
        "ExceptionLog", __LINE__);
  return options;
}

bool IsCurrentRevavaRezOptions(const TVezavuModuleOptions* options) noexcept {
  return options != nullptr && ModuleRecordOptions() == options;
}

}  // namespace RevavaRez
