#include "events/EventChain.h"

#include <windows.h>

#include <atomic>

#include "core/ExceptionObjects.h"
#include "core/ExternalExceptions.h"
#include "core/FaultingThread.h"
#include "core/VArev.h"
#include "events/EventSinks.h"
#include "events/RecordEntry.h"
#include "hooking/HookEngine.h"

namespace RevavaRez {

namespace {

// Read by other threads (a procedure handed to the faulting thread asks
// whose exception is current), written by the processing and the exports.
std::atomic<TVezavuExceptionRecord*> Current{nullptr};

// The export of the module where the current exception happened, when that
// is another module; null otherwise.
template <typename TExport>
TExport OtherModuleExport(const char* name) {
  const TVezavuExceptionRecord* record = CurrentExceptionRecord();
  if (record == nullptr) return nullptr;
  HMODULE module = ModuleOfAddress(record->ExceptionAddress);
  if (module == nullptr || module == ThisModule()) return nullptr;
  return reinterpret_cast<TExport>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

TVezavuExceptionRecord* CurrentExceptionRecord() { return Current.load(); }
void SetCurrentExceptionRecord(TVezavuExceptionRecord* record) { Current.store(record); }

// Never freed, as the sinks: sending may read them late at shut-down.
TStringList& AttachedFilesList() {
  static auto* list = new TStringList();
  return *list;
}
TStringList& CustomFieldsFirst() {
  static auto* list = new TStringList();
  return *list;
}
TStringList& CustomFieldsSecond() {
  static auto* list = new TStringList();
  return *list;
}

void RaiseExceptionNotify(bool& handled) {
  RunInFaultingThread([&handled] {
    if (auto other = OtherModuleExport<TExceptionNotifyExport>(kExceptionNotifyExport)) {
      uint8_t value = handled ? 1 : 0;
      other(CurrentExceptionRecord(), &value);
      handled = value != 0;
    }
    DispatchExceptionNotify(CurrentExceptionRecord(), handled);
  });
}

void RaiseActionNotify(uint8_t action, bool& flag) {
  RunInFaultingThread([action, &flag] {
    if (auto other = OtherModuleExport<TActionNotifyExport>(kActionNotifyExport)) {
      uint8_t value = flag ? 1 : 0;
      other(CurrentExceptionRecord(), action, &value);
      flag = value != 0;
    }
    DispatchActionNotify(CurrentExceptionRecord(), action, flag);
  });
}

void RaiseErrorNotify(uint8_t action, bool& retry) {
  RunInFaultingThread([action, &retry] {
    if (auto other = OtherModuleExport<TErrorNotifyExport>(kErrorNotifyExport)) {
      uint8_t value = retry ? 1 : 0;
      other(CurrentExceptionRecord(), action, &value);
      retry = value != 0;
    }
    DispatchErrorNotify(CurrentExceptionRecord(), action, retry);
  });
}

void RaiseCustomDataRequest(std::string& data) {
  RunInFaultingThread([&data] {
    if (auto other = OtherModuleExport<TCustomDataRequestExport>(kCustomDataRequestExport)) {
      TTextBridge text(data);
      other(CurrentExceptionRecord(), &text);
    }
    DispatchCustomDataRequest(CurrentExceptionRecord(), data);
  });
}

void RaiseAttachedFilesRequest(TStringList& files) {
  RunInFaultingThread([&files] {
    if (auto other = OtherModuleExport<TAttachedFilesRequestExport>(kAttachedFilesRequestExport)) {
      TStringsBridge list(files);
      other(CurrentExceptionRecord(), &list);
    }
    DispatchAttachedFilesRequest(CurrentExceptionRecord(), files);
  });
}

void RaiseCustomFieldsRequest(TStringList& first, TStringList& second) {
  RunInFaultingThread([&first, &second] {
    if (auto other = OtherModuleExport<TCustomFieldsRequestExport>(kCustomFieldsRequestExport)) {
      TStringsBridge firstList(first), secondList(second);
      other(CurrentExceptionRecord(), &firstList, &secondList);
    }
    DispatchCustomFieldsRequest(CurrentExceptionRecord(), first, second);
  });
}

// The receiving side.

bool ClassBelongsHere(const void* object) {
  const std::type_info* classRef = ClassOf(object);
  return classRef != nullptr && ModuleOfAddress(classRef) == ThisModule();
}

TEnteredRecord::TEnteredRecord(const TVezavuExceptionRecord* given) {
  if (given == nullptr || !IsReadable(given, sizeof(*given))) return;
  FEntered = true;
  FSaved = CurrentExceptionRecord();
  FCopy = *given;
  if (given->ReportText != nullptr && given->ReportLength > 0 && IsReadable(given->ReportText, given->ReportLength))
    FText.assign(given->ReportText, given->ReportLength);
  FCopy.ReportText = FText.c_str();
  FCopy.ReportLength = static_cast<uint32_t>(FText.size());
  void* object = given->ExceptionObject;
  if (object != nullptr && !ClassBelongsHere(object)) {
    // A foreign object is no object here, except an operating-system
    // exception, which this module can make again from its system record.
    FCopy.ExceptionObject = nullptr;
    const std::type_info* classRef = ClassOf(object);
    const EXCEPTION_RECORD* system = given->SystemRecord;
    if (classRef && InheritsFromName(classRef, "EExternal") && system && IsReadable(system, sizeof(*system))) {
      FConverted = ExternalExceptionFor(*system);
      FCopy.ExceptionObject = static_cast<Exception*>(FConverted.get());
    }
  }
  SetCurrentExceptionRecord(&FCopy);
}

TEnteredRecord::~TEnteredRecord() {
  if (FEntered) SetCurrentExceptionRecord(FSaved);
}

void __stdcall TTextBridge::Get(const char** text, uint32_t* length) const {
  if (text) *text = FText.c_str();
  if (length) *length = static_cast<uint32_t>(FText.size());
}

void __stdcall TTextBridge::Set(const char* text, uint32_t length) {
  try {
    if (text == nullptr || !IsReadable(text, length))
      FText.clear();
    else
      FText.assign(text, length);
  } catch (...) {
    // Out of memory: the text keeps what it had.
  }
}

int32_t __stdcall TStringsBridge::Count() const { return FList.Count(); }

void __stdcall TStringsBridge::Get(int32_t index, const char** text, uint32_t* length) const {
  const char* data = "";
  uint32_t size = 0;
  if (index >= 0 && index < FList.Count()) {
    data = FList[index].c_str();
    size = static_cast<uint32_t>(FList[index].size());
  }
  if (text) *text = data;
  if (length) *length = size;
}

std::string CopyText(const TRevavaRezText* text) {
  if (text == nullptr) return std::string();
  const char* data = nullptr;
  uint32_t length = 0;
  text->Get(&data, &length);
  if (data == nullptr || !IsReadable(data, length)) return std::string();
  return std::string(data, length);
}

void CopyStrings(const TRevavaRezStrings* source, TStringList& target) {
  target.Clear();
  if (source == nullptr) return;
  const int32_t count = source->Count();
  for (int32_t i = 0; i < count; ++i) {
    const char* data = nullptr;
    uint32_t length = 0;
    source->Get(i, &data, &length);
    target.Add(data && IsReadable(data, length) ? std::string(data, length) : std::string());
  }
}

}  // namespace RevavaRez
