// The exports every module that carries the library has, so that the
// modules of one process act as one reporter. They sit in the start-up
// object, which every such module links whole: nothing calls them inside
// the module, and from the archive the linker would leave them out. No
// exception leaves them.
#include <windows.h>

#include <string>

#include "events/EventChain.h"
#include "events/EventSinks.h"
#include "events/ExceptionManager.h"
#include "events/ExceptionRecord.h"
#include "events/RecordEntry.h"
#include "moduleinfo/PasswordRequest.h"

using namespace RevavaRez;

namespace {

void PasswordRequest(TVezavuExceptionRecord* record, unsigned char* password, int32_t maxLength) {
  TEnteredRecord entered(record);
  LocalPasswordSinks(entered.Record(), password, maxLength);
}

}  // namespace

extern "C" {

__declspec(dllexport) uint8_t __stdcall ExceptionManager(void* object, void* address, uint8_t outputKind,
                                                         HMODULE module) {
  return ManageException(object, address, outputKind, module, reinterpret_cast<uintptr_t>(__builtin_dwarf_cfa()));
}

__declspec(dllexport) void __stdcall RevavaRez_ExceptionNotifyEvent(TVezavuExceptionRecord* record,
                                                                    uint8_t* handled) {
  try {
    TEnteredRecord entered(record);
    bool value = handled == nullptr || *handled != 0;
    DispatchExceptionNotify(entered.Record(), value);
    if (handled) *handled = value ? 1 : 0;
  } catch (...) {
    // A handler's failure answers nothing.
  }
}

__declspec(dllexport) void __stdcall RevavaRez_ExceptionActionNotifyEvent(TVezavuExceptionRecord* record,
                                                                          uint8_t action, uint8_t* flag) {
  try {
    TEnteredRecord entered(record);
    bool value = flag != nullptr && *flag != 0;
    DispatchActionNotify(entered.Record(), action, value);
    if (flag) *flag = value ? 1 : 0;
  } catch (...) {
  }
}

__declspec(dllexport) void __stdcall RevavaRez_ExceptionErrorNotifyEvent(TVezavuExceptionRecord* record,
                                                                         uint8_t action, uint8_t* retry) {
  try {
    TEnteredRecord entered(record);
    bool value = retry != nullptr && *retry != 0;
    DispatchErrorNotify(entered.Record(), action, value);
    if (retry) *retry = value ? 1 : 0;
  } catch (...) {
  }
}

__declspec(dllexport) void __stdcall RevavaRez_CustomDataRequestEvent(TVezavuExceptionRecord* record,
                                                                      TRevavaRezText* data) {
  try {
    TEnteredRecord entered(record);
    std::string text = CopyText(data);
    DispatchCustomDataRequest(entered.Record(), text);
    if (data) data->Set(text.c_str(), static_cast<uint32_t>(text.size()));
  } catch (...) {
  }
}

// The caller's lists are copied in; what this module's handlers add stays
// in this module.
__declspec(dllexport) void __stdcall RevavaRez_AttachedFilesRequestEvent(TVezavuExceptionRecord* record,
                                                                         TRevavaRezStrings* files) {
  try {
    TEnteredRecord entered(record);
    CopyStrings(files, AttachedFilesList());
    DispatchAttachedFilesRequest(entered.Record(), AttachedFilesList());
  } catch (...) {
  }
}

__declspec(dllexport) void __stdcall RevavaRez_CustomFieldsRequestEvent(TVezavuExceptionRecord* record,
                                                                        TRevavaRezStrings* first,
                                                                        TRevavaRezStrings* second) {
  try {
    TEnteredRecord entered(record);
    CopyStrings(first, CustomFieldsFirst());
    CopyStrings(second, CustomFieldsSecond());
    DispatchCustomFieldsRequest(entered.Record(), CustomFieldsFirst(), CustomFieldsSecond());
  } catch (...) {
  }
}

__declspec(dllexport) void __stdcall RevavaRez_PasswordRequestEventEx(TVezavuExceptionRecord* record,
                                                                      unsigned char* password, int32_t maxLength) {
  try {
    PasswordRequest(record, password, maxLength);
  } catch (...) {
  }
}

__declspec(dllexport) void __stdcall RevavaRez_PasswordRequestEvent(unsigned char* password, int32_t maxLength) {
  try {
    PasswordRequest(nullptr, password, maxLength);
  } catch (...) {
  }
}

}  // extern "C"
