#pragma once
// The options object each module that carries the library owns: it
// publishes its changes into the module block, and the options that steer
// this module start or stop the freeze watchdog when they change.
#include "options/VezavuModuleOptions.h"

namespace RevavaRez {

class TVezavuModuleOptionsEx : public TVezavuModuleOptions {
 public:
  using TVezavuModuleOptions::TVezavuModuleOptions;

  void PublishChanges() override;
  void SetReportingOn(bool value) override;
  void SetFreezeWatch(bool value) override;

 private:
  // The options of this module start or stop the freeze watchdog when one
  // of the two options it follows changes.
  void SetWatchOption(void (TVezavuModuleOptions::*store)(bool), bool value, bool current);
};

}  // namespace RevavaRez
