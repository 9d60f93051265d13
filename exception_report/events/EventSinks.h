#pragma once
// The handlers a program registers for the library's events in its own
// module, and their local dispatch. The list and the global procedure
// variables exist in every module that carries the library, active or not;
// nothing in this system registers a handler.
#include <cstdint>
#include <string>

#include "core/StringList.h"
#include "events/ExceptionRecord.h"

namespace RevavaRez {

// Seven optional handlers and the data pointer each is called with. Every
// argument is passed by reference, so a handler sees what the one before it
// left. The record is null for a password request outside the processing.
struct TRevavaRezEvents {
  void* Data = nullptr;
  void (*ExceptionNotify)(void* data, TVezavuExceptionRecord* record, bool& handled) = nullptr;
  void (*ActionNotify)(void* data, TVezavuExceptionRecord* record, uint8_t action, bool& flag) = nullptr;
  void (*ErrorNotify)(void* data, TVezavuExceptionRecord* record, uint8_t action, bool& retry) = nullptr;
  void (*PasswordRequest)(void* data, TVezavuExceptionRecord* record, std::string& password, int32_t maxLength) =
      nullptr;
  void (*CustomDataRequest)(void* data, TVezavuExceptionRecord* record, std::string& text) = nullptr;
  void (*AttachedFilesRequest)(void* data, TVezavuExceptionRecord* record, TStringList& files) = nullptr;
  void (*CustomFieldsRequest)(void* data, TVezavuExceptionRecord* record, TStringList& first,
                              TStringList& second) = nullptr;
};

// The registered sinks of this module. A sink stays the caller's; it must
// stay valid until unregistered.
class TRevavaRezList {
 public:
  void Register(const TRevavaRezEvents* sink);
  void Unregister(const TRevavaRezEvents* sink);
  int Count() const;
};
TRevavaRezList& RevavaRezList();

// The global procedure variables, one per event, run after the sinks.
extern void (*OnExceptionNotify)(TVezavuExceptionRecord* record, bool& handled);
extern void (*OnActionNotify)(TVezavuExceptionRecord* record, uint8_t action, bool& flag);
extern void (*OnErrorNotify)(TVezavuExceptionRecord* record, uint8_t action, bool& retry);
extern void (*OnPasswordRequest)(TVezavuExceptionRecord* record, std::string& password, int32_t maxLength);
extern void (*OnCustomDataRequest)(TVezavuExceptionRecord* record, std::string& text);
extern void (*OnAttachedFilesRequest)(TVezavuExceptionRecord* record, TStringList& files);
extern void (*OnCustomFieldsRequest)(TVezavuExceptionRecord* record, TStringList& first, TStringList& second);

// Local dispatch: the sinks from the last registered to the first, then the
// global variable.
void DispatchExceptionNotify(TVezavuExceptionRecord* record, bool& handled);
void DispatchActionNotify(TVezavuExceptionRecord* record, uint8_t action, bool& flag);
void DispatchErrorNotify(TVezavuExceptionRecord* record, uint8_t action, bool& retry);
void DispatchPasswordRequest(TVezavuExceptionRecord* record, std::string& password, int32_t maxLength);
void DispatchCustomDataRequest(TVezavuExceptionRecord* record, std::string& text);
void DispatchAttachedFilesRequest(TVezavuExceptionRecord* record, TStringList& files);
void DispatchCustomFieldsRequest(TVezavuExceptionRecord* record, TStringList& first, TStringList& second);

}  // namespace RevavaRez
