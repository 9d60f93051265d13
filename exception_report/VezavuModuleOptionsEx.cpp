#include "VezavuModuleOptionsEx.h"

#include "CurrentRevavaRezOptions.h"
#include "Hooks.h"
#include "ModuleBlock.h"

namespace RevavaRez {

void TVezavuModuleOptionsEx::PublishChanges() { PublishModuleOptions(*this); }

void TVezavuModuleOptionsEx::FollowFreezeWatch() {
  if (ReportingOn() && FreezeWatch())
    LibraryHooks.StartFreezeWatch();
  else
    LibraryHooks.StopFreezeWatch();
}

void TVezavuModuleOptionsEx::SetReportingOn(bool value) {
  if (!IsCurrentRevavaRezOptions(this)) {
    TVezavuModuleOptions::SetReportingOn(value);
  } else if (value != ReportingOn()) {
    TVezavuModuleOptions::SetReportingOn(value);
    FollowFreezeWatch();
  }
}

void TVezavuModuleOptionsEx::SetFreezeWatch(bool value) {
  if (!IsCurrentRevavaRezOptions(this)) {
    TVezavuModuleOptions::SetFreezeWatch(value);
  } else if (value != FreezeWatch()) {
    TVezavuModuleOptions::SetFreezeWatch(value);
    FollowFreezeWatch();
  }
}

}  // namespace RevavaRez
