#include "core/ExceptionObjects.h"

#include <cstddef>
#include <cstring>
#include <exception>
#include <string_view>

#include "core/VArev.h"
#include "core/VArevText.h"

namespace RevavaRez {

namespace {

// The C++ ABI's type information, as laid down by any module's run-time.
struct RawTypeInfo {
  const void* const* VTable;
  const char* Name;
};
struct RawSingleBase {
  RawTypeInfo Info;
  const RawTypeInfo* Base;
};
struct RawBaseEntry {
  const RawTypeInfo* Base;
  intptr_t OffsetFlags;
};
struct RawMultipleBase {
  RawTypeInfo Info;
  unsigned Flags;
  unsigned BaseCount;
  RawBaseEntry Bases[1];
};

const size_t kMaxName = 1024;
const int kMaxClasses = 64;

enum TInfoForm { ifUnreadable, ifOther, ifClass, ifSingleBase, ifMultipleBase };

// The zero-terminated name at text, when all of it is readable within
// kMaxName bytes; checked reads only.
std::string_view ReadableName(const char* text, bool checked) {
  size_t readable = checked ? ReadableLength(text, kMaxName) : kMaxName;
  if (readable == 0) return std::string_view();
  size_t length = strnlen(text, readable < kMaxName ? readable : kMaxName);
  if (length == (readable < kMaxName ? readable : kMaxName)) return std::string_view();
  return std::string_view(text, length);
}

// The form of a type information, told by the mangled name of its own class
// (never by address: each module has its own copy of the run-time).
TInfoForm FormOf(const RawTypeInfo* info, bool checked) {
  if (!info || (checked && !IsReadable(info, sizeof(RawTypeInfo)))) return ifUnreadable;
  const void* const* vtable = info->VTable;
  if (!vtable || (checked && !IsReadable(vtable - 1, sizeof(void*)))) return ifUnreadable;
  auto own = static_cast<const RawTypeInfo*>(vtable[-1]);
  if (!own || (checked && !IsReadable(own, sizeof(RawTypeInfo)))) return ifUnreadable;
  std::string_view ownName = ReadableName(own->Name, checked);
  if (ownName.empty() || ReadableName(info->Name, checked).empty()) return ifUnreadable;
  if (ownName == "N10__cxxabiv117__class_type_infoE") return ifClass;
  if (ownName == "N10__cxxabiv120__si_class_type_infoE")
    return !checked || IsReadable(info, sizeof(RawSingleBase)) ? ifSingleBase : ifUnreadable;
  if (ownName == "N10__cxxabiv121__vmi_class_type_infoE")
    return !checked || IsReadable(info, offsetof(RawMultipleBase, Bases)) ? ifMultipleBase : ifUnreadable;
  return ifOther;
}

size_t SkipSourceName(std::string_view m, size_t at, std::string_view* name) {
  size_t length = 0;
  while (at < m.size() && m[at] >= '0' && m[at] <= '9' && length < kMaxName)
    length = length * 10 + (m[at++] - '0');
  if (length > m.size() - at) return m.size();
  if (name) *name = m.substr(at, length);
  return at + length;
}

// Skips a template argument list "I...E", nested lists and names included.
size_t SkipTemplateArgs(std::string_view m, size_t at) {
  int depth = 0;
  while (at < m.size()) {
    char c = m[at];
    if (c >= '0' && c <= '9') {
      at = SkipSourceName(m, at, nullptr);
      continue;
    }
    ++at;
    if (c == 'I' || c == 'N') ++depth;
    if (c == 'E' && --depth == 0) break;
  }
  return at;
}

// The last component of a mangled class name, read in place.
std::string_view LastComponent(std::string_view m) {
  if (!m.empty() && m[0] == '*') m.remove_prefix(1);
  std::string_view last;
  size_t at = 0;
  bool nested = !m.empty() && m[0] == 'N';
  if (nested) ++at;
  while (at < m.size()) {
    char c = m[at];
    if (c >= '0' && c <= '9') {
      at = SkipSourceName(m, at, &last);
    } else if (c == 'S' && at + 1 < m.size() && m[at + 1] == 't') {
      at += 2;
    } else if (c == 'I') {
      at = SkipTemplateArgs(m, at);
    } else if (nested && (c == 'K' || c == 'V' || c == 'r')) {
      ++at;
    } else {
      break;
    }
    if (!nested && c >= '0' && c <= '9') break;
  }
  return last.empty() ? m : last;
}

const RawTypeInfo* RawOf(const std::type_info* classRef) {
  return reinterpret_cast<const RawTypeInfo*>(classRef);
}

bool Walk(const std::type_info* classRef, const std::string& name, bool checked) {
  std::string wanted = UpperCase(Trim(name));
  const RawTypeInfo* queue[kMaxClasses];
  int head = 0, tail = 0;
  if (classRef) queue[tail++] = RawOf(classRef);
  while (head < tail) {
    const RawTypeInfo* info = queue[head++];
    TInfoForm form = FormOf(info, checked);
    if (form == ifUnreadable) continue;
    if (UpperCase(std::string(LastComponent(ReadableName(info->Name, checked)))) == wanted) return true;
    if (form == ifSingleBase) {
      if (tail < kMaxClasses) queue[tail++] = reinterpret_cast<const RawSingleBase*>(info)->Base;
    } else if (form == ifMultipleBase) {
      auto multiple = reinterpret_cast<const RawMultipleBase*>(info);
      for (unsigned i = 0; i < multiple->BaseCount && tail < kMaxClasses; ++i) {
        const RawBaseEntry* entry = &multiple->Bases[i];
        if (checked && !IsReadable(entry, sizeof *entry)) break;
        queue[tail++] = entry->Base;
      }
    }
  }
  return false;
}

}  // namespace

const std::type_info* ClassOf(const void* object) {
  if (!object || !IsReadable(object, sizeof(void*))) return nullptr;
  auto vtable = *static_cast<const void* const* const*>(object);
  if (!vtable || !IsReadable(vtable - 1, sizeof(void*))) return nullptr;
  auto info = static_cast<const RawTypeInfo*>(vtable[-1]);
  return FormOf(info, true) == ifUnreadable ? nullptr : reinterpret_cast<const std::type_info*>(info);
}

std::string ClassNameOf(const std::type_info* classRef) {
  if (!classRef || FormOf(RawOf(classRef), true) == ifUnreadable) return std::string();
  return std::string(LastComponent(ReadableName(RawOf(classRef)->Name, true)));
}

std::string ObjectClassName(const void* object) { return ClassNameOf(ClassOf(object)); }

bool InheritsFromName(const std::type_info* classRef, const std::string& name) {
  return Walk(classRef, name, true);
}

bool InheritsFromNameUnchecked(const std::type_info* classRef, const std::string& name) {
  return Walk(classRef, name, false);
}

bool InheritsFromAny(const void* object, const std::type_info* const* classes, size_t count) {
  const std::type_info* classRef = ClassOf(object);
  if (!classRef) return false;
  for (size_t i = 0; i < count; ++i) {
    std::string name = ClassNameOf(classes[i]);
    if (!name.empty() && InheritsFromName(classRef, name)) return true;
  }
  return false;
}

bool IsReportable(const void* object) {
  const std::type_info* classRef = ClassOf(object);
  return classRef && !InheritsFromName(classRef, "EAbort");
}

TCaughtException CurrentException() {
  TCaughtException caught;
  try {
    std::exception_ptr current = std::current_exception();
    if (!current) return caught;
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      caught.IsException = true;
      caught.Object = dynamic_cast<const void*>(&e);
      caught.ClassName = ObjectClassName(caught.Object);
      caught.Message = e.what();
    } catch (...) {
    }
  } catch (...) {
  }
  return caught;
}

TObjectClone* CloneObject(const std::exception* object, uintptr_t address,
                          const EXCEPTION_RECORD* systemRecord) {
  if (!object) return nullptr;
  try {
    const void* whole = dynamic_cast<const void*>(object);
    const std::type_info* classRef = ClassOf(whole);
    if (!classRef) return nullptr;
    auto clone = new TObjectClone;
    clone->ClassRef = classRef;
    clone->ClassName = ClassNameOf(classRef);
    clone->Message = object->what();
    clone->Address = address;
    if (systemRecord && IsReadable(systemRecord, sizeof *systemRecord)) {
      clone->HasSystemRecord = true;
      std::memcpy(&clone->SystemRecord, systemRecord, sizeof *systemRecord);
      clone->SystemRecord.ExceptionRecord = nullptr;  // the chain is not kept
    }
    return clone;
  } catch (...) {
    return nullptr;
  }
}

void FreeClone(TObjectClone* clone) { delete clone; }

}  // namespace RevavaRez
