#include "events/EventSinks.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace RevavaRez {

namespace {

// The sinks live in a list that is never freed: a handler may be looked for
// while the module shuts down, after its other statics are gone.
SRWLOCK SinksLock = SRWLOCK_INIT;

std::vector<const TRevavaRezEvents*>& Sinks() {
  static auto* sinks = new std::vector<const TRevavaRezEvents*>();
  return *sinks;
}

// The sinks from the last registered to the first, copied so that a handler
// may register or unregister without the list changing under the dispatch.
std::vector<const TRevavaRezEvents*> SinksNewestFirst() {
  AcquireSRWLockShared(&SinksLock);
  std::vector<const TRevavaRezEvents*> copy(Sinks().rbegin(), Sinks().rend());
  ReleaseSRWLockShared(&SinksLock);
  return copy;
}

}  // namespace

void TRevavaRezList::Register(const TRevavaRezEvents* sink) {
  if (sink == nullptr) return;
  AcquireSRWLockExclusive(&SinksLock);
  std::vector<const TRevavaRezEvents*>& sinks = Sinks();
  if (std::find(sinks.begin(), sinks.end(), sink) == sinks.end()) sinks.push_back(sink);
  ReleaseSRWLockExclusive(&SinksLock);
}

void TRevavaRezList::Unregister(const TRevavaRezEvents* sink) {
  AcquireSRWLockExclusive(&SinksLock);
  std::vector<const TRevavaRezEvents*>& sinks = Sinks();
  sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
  ReleaseSRWLockExclusive(&SinksLock);
}

int TRevavaRezList::Count() const {
  AcquireSRWLockShared(&SinksLock);
  const int count = static_cast<int>(Sinks().size());
  ReleaseSRWLockShared(&SinksLock);
  return count;
}

TRevavaRezList& RevavaRezList() {
  static TRevavaRezList list;
  return list;
}

void (*OnExceptionNotify)(TVezavuExceptionRecord* record, bool& handled) = nullptr;
void (*OnActionNotify)(TVezavuExceptionRecord* record, uint8_t action, bool& flag) = nullptr;
void (*OnErrorNotify)(TVezavuExceptionRecord* record, uint8_t action, bool& retry) = nullptr;
void (*OnPasswordRequest)(TVezavuExceptionRecord* record, std::string& password, int32_t maxLength) = nullptr;
void (*OnCustomDataRequest)(TVezavuExceptionRecord* record, std::string& text) = nullptr;
void (*OnAttachedFilesRequest)(TVezavuExceptionRecord* record, TStringList& files) = nullptr;
void (*OnCustomFieldsRequest)(TVezavuExceptionRecord* record, TStringList& first, TStringList& second) = nullptr;

void DispatchExceptionNotify(TVezavuExceptionRecord* record, bool& handled) {
  for (const TRevavaRezEvents* sink : SinksNewestFirst())
    if (sink->ExceptionNotify) sink->ExceptionNotify(sink->Data, record, handled);
  if (auto global = OnExceptionNotify) global(record, handled);
}

void DispatchActionNotify(TVezavuExceptionRecord* record, uint8_t action, bool& flag) {
  for (const TRevavaRezEvents* sink : SinksNewestFirst())
    if (sink->ActionNotify) sink->ActionNotify(sink->Data, record, action, flag);
  if (auto global = OnActionNotify) global(record, action, flag);
}

void DispatchErrorNotify(TVezavuExceptionRecord* record, uint8_t action, bool& retry) {
  for (const TRevavaRezEvents* sink : SinksNewestFirst())
    if (sink->ErrorNotify) sink->ErrorNotify(sink->Data, record, action, retry);
  if (auto global = OnErrorNotify) global(record, action, retry);
}

void DispatchPasswordRequest(TVezavuExceptionRecord* record, std::string& password, int32_t maxLength) {
  for (const TRevavaRezEvents* sink : SinksNewestFirst())
    if (sink->PasswordRequest) sink->PasswordRequest(sink->Data, record, password, maxLength);
  if (auto global = OnPasswordRequest) global(record, password, maxLength);
}

void DispatchCustomDataRequest(TVezavuExceptionRecord* record, std::string& text) {
  for (const TRevavaRezEvents* sink : SinksNewestFirst())
    if (sink->CustomDataRequest) sink->CustomDataRequest(sink->Data, record, text);
  if (auto global = OnCustomDataRequest) global(record, text);
}

void DispatchAttachedFilesRequest(TVezavuExceptionRecord* record, TStringList& files) {
  for (const TRevavaRezEvents* sink : SinksNewestFirst())
    if (sink->AttachedFilesRequest) sink->AttachedFilesRequest(sink->Data, record, files);
  if (auto global = OnAttachedFilesRequest) global(record, files);
}

void DispatchCustomFieldsRequest(TVezavuExceptionRecord* record, TStringList& first, TStringList& second) {
  for (const TRevavaRezEvents* sink : SinksNewestFirst())
    if (sink->CustomFieldsRequest) sink->CustomFieldsRequest(sink->Data, record, first, second);
  if (auto global = OnCustomFieldsRequest) global(record, first, second);
}

}  // namespace RevavaRez
