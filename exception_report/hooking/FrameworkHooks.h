#pragma once
// Code hooks of the class-library framework's routines (application
// exception handlers, the web framework's server controller and reply, the
// service log and the socket thread's exception routine), found by symbol,
// and the routines that take their place. Each routine and its replacement
// share one signature: object first, then the arguments, passed in
// registers on i686 as the framework passes them.
#include <cstdint>
#include <string>

#include "core/NamedEvents.h"

namespace RevavaRez {

class TStream;

#if defined(__i386__)
#define BRX_FRAMEWORK_CALL __attribute__((regparm(3)))
#else
#define BRX_FRAMEWORK_CALL
#endif

// The framework routines, by row: the application's HandleException (sender)
// and ShowException (exception) of both class libraries; two routines known
// only by identifier (two register arguments, an answer); the server
// controller's constructor; the web reply's send; the service's LogMessage;
// the socket thread's DoException.
typedef void(BRX_FRAMEWORK_CALL* THandleExceptionRoutine)(void* application, void* sender);
typedef void(BRX_FRAMEWORK_CALL* TShowExceptionRoutine)(void* application, void* exception);
typedef uintptr_t(BRX_FRAMEWORK_CALL* TIdentifiedRoutine)(void* first, void* second);
class IServerController;
typedef IServerController*(BRX_FRAMEWORK_CALL* TControllerConstructor)(void* classRef, void* owner);
class IWebReply;
typedef void(BRX_FRAMEWORK_CALL* TReplySend)(IWebReply* reply);
typedef void(BRX_FRAMEWORK_CALL* TServiceLogMessage)(void* service, const std::string& message, uint32_t eventType,
                                                     int32_t category, int32_t identifier);
typedef void(BRX_FRAMEWORK_CALL* TThreadDoException)(void* thread, void* exception);

// The server controller's "OnException" handler in its two forms: the data
// object the event is bound to, then the sender, the application being
// served, the exception and, from version "7.2.32" on, the handled flag.
typedef void(BRX_FRAMEWORK_CALL* TExceptionEvent4)(void* self, void* sender, void* application, void* exception,
                                                   bool* handled);
typedef void(BRX_FRAMEWORK_CALL* TExceptionEvent3)(void* self, void* sender, void* application, void* exception);

// The web framework's server controller as the library sees it: its
// "OnException" event and its published properties ("Compression" an
// object, "Version" and "TemplateDir" texts, "ExceptionDisplayMode" an
// ordinal). Each getter answers false when the class publishes no such
// property.
class IServerController : public INamedEvents {
 public:
  virtual bool PublishedObject(const std::string& name, const void*& value) const = 0;
  virtual bool PublishedText(const std::string& name, std::string& value) const = 0;
  virtual bool PublishedOrdinal(const std::string& name, int32_t& value) const = 0;

 protected:
  ~IServerController() = default;
};

// A reply of the web framework: its content (may be none) and content type.
class IWebReply {
 public:
  virtual TStream* ContentStream() = 0;
  virtual std::string ContentType() const = 0;

 protected:
  ~IWebReply() = default;
};

// "Intraweb_" n "_70.bpl": the web framework's package of release n.
std::string IntraWebPackageName(int n);

// -1 while the application's HandleException runs through its replacement,
// so that the ShowException it calls does not report the exception again.
extern volatile int32_t InsideHandleException;
// The server controller's version is "7.2.32" or later: its "OnException"
// has the handled flag.
extern bool NewExceptionEventForm;

// Where the replacements hand an exception to the library: the library's
// exception manager with this module. Tests put a stand-in here.
extern uint8_t (*FrameworkExceptionManager)(void* object, void* address, uint8_t outputKind);

// Hooks every framework routine that is found, in the order of the rows.
// Needs the hooking engine set up; raises what it raises for a routine it
// cannot hook.
void InstallFrameworkHooks();

}  // namespace RevavaRez
