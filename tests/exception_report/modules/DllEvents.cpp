// The test library's own event sinks: what they saw goes into a journal the
// tests read through an export, and the password sink answers ten
// characters.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/ExternalExceptions.h"
#include "events/EventSinks.h"
#include "events/RecordEntry.h"

namespace {

using namespace RevavaRez;

std::string Journal;

void Note(const std::string& text) { Journal += (Journal.empty() ? "" : " ") + text; }

// What the record's object is to this module.
std::string ObjectKind(const TVezavuExceptionRecord* record) {
  if (record == nullptr) return "no-record";
  const void* object = record->ExceptionObject;
  if (object == nullptr) return "none";
  if (!ClassBelongsHere(object)) return "foreign";
  const auto* violation = dynamic_cast<const EAccessViolation*>(static_cast<const Exception*>(object));
  if (violation == nullptr) return "own";
  char text[32];
  std::snprintf(text, sizeof text, "av@%p", object);
  return text;
}

TRevavaRezEvents Sink;

}  // namespace

extern "C" __declspec(dllexport) void __stdcall TestEventsRegister() {
  Sink.ExceptionNotify = [](void*, TVezavuExceptionRecord* record, bool&) { Note("dll-notify:" + ObjectKind(record)); };
  Sink.CustomDataRequest = [](void*, TVezavuExceptionRecord* record, std::string&) {
    Note("dll-custom:" + ObjectKind(record));
  };
  Sink.PasswordRequest = [](void*, TVezavuExceptionRecord*, std::string& password, int32_t) {
    password = "0123456789";
  };
  RevavaRezList().Register(&Sink);
}

extern "C" __declspec(dllexport) void __stdcall TestEventsJournal(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  const size_t length = Journal.size() < static_cast<size_t>(size) ? Journal.size() : static_cast<size_t>(size - 1);
  std::memcpy(buffer, Journal.data(), length);
  buffer[length] = '\0';
}

extern "C" __declspec(dllexport) void __stdcall TestEventsClear() { Journal.clear(); }

// Writes through a null pointer: the access violation happens in here.
extern "C" __declspec(dllexport) __attribute__((noinline)) void __stdcall TestEventsFault() {
  *static_cast<volatile int*>(nullptr) = 1;
}
