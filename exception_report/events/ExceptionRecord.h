#pragma once
// What the modules of one process that carry the library hand each other
// about the exception being reported, and the exports through which they do.
// Everything here crosses module boundaries: plain layouts fixed per
// architecture, and interfaces without data, so that no module reads another's
// containers or frees another's memory.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace RevavaRez {

// The report text stays in the sender's memory; a receiver copies it.
struct TVezavuExceptionRecord {
  void* ExceptionObject;
  void* ExceptionAddress;
  const char* ReportText;
  const EXCEPTION_RECORD* SystemRecord;  // of an operating-system exception, else null
  uint32_t ThreadID;
  uint32_t ReportLength;
};

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(TVezavuExceptionRecord) == 24, "the record's layout is shared across modules");
static_assert(offsetof(TVezavuExceptionRecord, ReportText) == 8 && offsetof(TVezavuExceptionRecord, ThreadID) == 16 &&
                  offsetof(TVezavuExceptionRecord, ReportLength) == 20,
              "the record's layout is shared across modules");
#else
static_assert(sizeof(TVezavuExceptionRecord) == 40, "the record's layout is shared across modules");
static_assert(offsetof(TVezavuExceptionRecord, ReportText) == 16 && offsetof(TVezavuExceptionRecord, ThreadID) == 32 &&
                  offsetof(TVezavuExceptionRecord, ReportLength) == 36,
              "the record's layout is shared across modules");
#endif

// A list of texts as another module sees it; the receiver copies each one.
class TRevavaRezStrings {
 public:
  virtual int32_t __stdcall Count() const = 0;
  virtual void __stdcall Get(int32_t index, const char** text, uint32_t* length) const = 0;

 protected:
  ~TRevavaRezStrings() = default;
};

// One text that a receiver may read and replace.
class TRevavaRezText {
 public:
  virtual void __stdcall Get(const char** text, uint32_t* length) const = 0;
  virtual void __stdcall Set(const char* text, uint32_t length) = 0;

 protected:
  ~TRevavaRezText() = default;
};

// The export names and forms, as the chain looks them up in another module.
constexpr char kExceptionManagerExport[] = "ExceptionManager";
constexpr char kExceptionNotifyExport[] = "RevavaRez_ExceptionNotifyEvent";
constexpr char kActionNotifyExport[] = "RevavaRez_ExceptionActionNotifyEvent";
constexpr char kErrorNotifyExport[] = "RevavaRez_ExceptionErrorNotifyEvent";
constexpr char kCustomDataRequestExport[] = "RevavaRez_CustomDataRequestEvent";
constexpr char kAttachedFilesRequestExport[] = "RevavaRez_AttachedFilesRequestEvent";
constexpr char kCustomFieldsRequestExport[] = "RevavaRez_CustomFieldsRequestEvent";

using TExceptionManagerExport = uint8_t(__stdcall*)(void* object, void* address, uint8_t outputKind, HMODULE module);
using TExceptionNotifyExport = void(__stdcall*)(TVezavuExceptionRecord* record, uint8_t* handled);
using TActionNotifyExport = void(__stdcall*)(TVezavuExceptionRecord* record, uint8_t action, uint8_t* flag);
using TErrorNotifyExport = void(__stdcall*)(TVezavuExceptionRecord* record, uint8_t action, uint8_t* retry);
using TCustomDataRequestExport = void(__stdcall*)(TVezavuExceptionRecord* record, TRevavaRezText* data);
using TAttachedFilesRequestExport = void(__stdcall*)(TVezavuExceptionRecord* record, TRevavaRezStrings* files);
using TCustomFieldsRequestExport = void(__stdcall*)(TVezavuExceptionRecord* record, TRevavaRezStrings* first,
                                                    TRevavaRezStrings* second);

}  // namespace RevavaRez
