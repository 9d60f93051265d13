#pragma once
// Process-wide hooks through which this library reaches pieces that come
// later (the freeze watchdog, sending, raise tracking, call stacks, the
// start-up patches). Each starts with a neutral default and is a plain
// constant-initialised pointer, so the start-up object may read it before
// any other static of the module is built.
#include <cstdint>
#include <string>
#include <vector>

namespace RevavaRez {

// One entry of a call stack, as the internal-error report prints it.
struct TStackEntryText {
  uintptr_t Address = 0;
  uintptr_t ModuleHandle = 0;
  std::string ModuleName;
  int Line = 0;  // 0 when the entry has no line information
  std::string Unit, ClassName, Procedure, LineText;
};

struct TLibraryHooks {
  // The freeze watchdog of this module.
  void (*StartFreezeWatch)();
  void (*StopFreezeWatch)();
  // True while the send-progress dialog is up.
  bool (*SendProgressDialogUp)();
  // Sends one file through Simple MAPI; false when the mail client cannot be
  // reached.
  bool (*SendMailWithAttachment)(const std::string& address, const std::string& subject,
                                 const std::string& body, const std::string& attachment);
  // The call stack of the calling thread.
  std::vector<TStackEntryText> (*CurrentThreadStack)();
  // The last exception object that processing handled, or null.
  const void* (*LastProcessedException)();
  // The raise address recorded for an exception object, or 0.
  uintptr_t (*RaiseAddressOf)(const void* exceptionObject);
  // Patches the unit initialisation table at start-up.
  void (*PatchUnitInitTable)();
  // True inside a web server's process, whose reports go to the page.
  bool (*IsWebHost)();
  // Binds the web framework's exception event to the library again, before
  // a raised exception is looked at.
  void (*RebindWebExceptionEvent)();
};

// Filled by the pieces that provide them; never null.
extern TLibraryHooks LibraryHooks;

}  // namespace RevavaRez
