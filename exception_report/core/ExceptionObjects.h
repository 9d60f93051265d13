#pragma once
// Objects and classes as the library reads them: an object is a pointer to a
// polymorphic C++ object, its class record the ABI type information found
// through the slot before its virtual table, and a class reference that
// std::type_info pointer. Every read is checked with ReadableLength first,
// so a stale or foreign pointer gives "no class", never a fault; type
// information of another module (its own copy of the run-time) reads alike.
#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>
#include <typeinfo>

namespace RevavaRez {

// The class record of an object, or null when it cannot be read.
const std::type_info* ClassOf(const void* object);
// The last component of the class's mangled name (no namespaces, no leading
// "*"); empty when it cannot be read.
std::string ClassNameOf(const std::type_info* classRef);
std::string ObjectClassName(const void* object);

// The class and its ancestors (breadth first, at most 64 classes), by name
// without regard to case; the name is trimmed. The unchecked form trusts the
// class records.
bool InheritsFromName(const std::type_info* classRef, const std::string& name);
bool InheritsFromNameUnchecked(const std::type_info* classRef, const std::string& name);
bool InheritsFromAny(const void* object, const std::type_info* const* classes, size_t count);

// A readable object with a readable class record that does not descend from
// EAbort.
bool IsReportable(const void* object);

// What the current exception (the one the calling catch handles) is: an
// exception object is one that descends from std::exception.
struct TCaughtException {
  bool IsException = false;
  const void* Object = nullptr;  // the exception object, when one
  std::string ClassName;
  std::string Message;
};
// Only inside a catch block; never throws.
TCaughtException CurrentException();

// What sending needs of an exception object, kept beyond the object's life.
struct TObjectClone {
  const std::type_info* ClassRef = nullptr;
  std::string ClassName;
  std::string Message;
  uintptr_t Address = 0;
  bool HasSystemRecord = false;
  EXCEPTION_RECORD SystemRecord = {};
};
// A snapshot instead of a byte copy, whose strings would share (and later
// free twice) the object's buffers. Null for no or an unreadable object.
TObjectClone* CloneObject(const std::exception* object, uintptr_t address = 0,
                          const EXCEPTION_RECORD* systemRecord = nullptr);
void FreeClone(TObjectClone* clone);

}  // namespace RevavaRez
