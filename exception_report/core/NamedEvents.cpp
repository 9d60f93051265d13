#include "core/NamedEvents.h"

namespace RevavaRez {

void* ReplaceEventHandler(INamedEvents* object, const std::string& name, void* code) {
  void* old = nullptr;
  if (!object || !object->GetEventCode(name, old) || old == code) return nullptr;
  object->SetEventCode(name, code);
  return old;
}

}  // namespace RevavaRez
