#pragma once
// Objects whose events can be rebound by name: the library swaps an event's
// code while keeping the object it is bound to.
#include <string>

namespace RevavaRez {

class INamedEvents {
 public:
  // False when the object has no event of that name.
  virtual bool GetEventCode(const std::string& name, void*& code) const = 0;
  virtual void SetEventCode(const std::string& name, void* code) = 0;

 protected:
  ~INamedEvents() = default;
};

// Sets the event's code when the object has that event and its code differs,
// and answers the old code; null when nothing was replaced.
void* ReplaceEventHandler(INamedEvents* object, const std::string& name, void* code);

}  // namespace RevavaRez
