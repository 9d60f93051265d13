#include "options/VezavuModuleOptionsEx.h"

#include "options/CurrentRevavaRezOptions.h"
#include "core/Hooks.h"
#include "options/ModuleBlock.h"

namespace RevavaRez {

void TVezavuModuleOptionsEx::PublishChanges() { PublishModuleOptions(*this); }

void TVezavuModuleOptionsEx::SetWatchOption(void (TVezavuModuleOptions::*store)(bool), bool value, bool current) {
  if (!IsCurrentRevavaRezOptions(this)) {
    (this->*store)(value);
    return;
  }
  if (value == current) return;
  (this->*store)(value);
  if (ReportingOn() && FreezeWatch())
    LibraryHooks.StartFreezeWatch();
  else
    LibraryHooks.StopFreezeWatch();
}

void TVezavuModuleOptionsEx::SetReportingOn(bool value) {
  SetWatchOption(&TVezavuModuleOptionsEx::StoreReportingOn, value, ReportingOn());
}

void TVezavuModuleOptionsEx::SetFreezeWatch(bool value) {
  SetWatchOption(&TVezavuModuleOptionsEx::StoreFreezeWatch, value, FreezeWatch());
}

}  // namespace RevavaRez
