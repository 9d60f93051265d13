#pragma once
// Operating-system exceptions as objects of this module: the external family
// keeps a copy of the system record it was made from.
#include <windows.h>

#include <memory>
#include <string>

#include "core/Errors.h"

namespace RevavaRez {

class EExternal : public Exception {
 public:
  EExternal(const std::string& message, const EXCEPTION_RECORD& record);
  const EXCEPTION_RECORD& SystemRecord() const { return FRecord; }

 private:
  EXCEPTION_RECORD FRecord;
};

class EAccessViolation : public EExternal {
 public:
  using EExternal::EExternal;
};

class EStackOverflow : public EExternal {
 public:
  using EExternal::EExternal;
};

// The object of the class the record's code maps to, with its message; codes
// without a class of their own give EExternal.
std::unique_ptr<EExternal> ExternalExceptionFor(const EXCEPTION_RECORD& record);

}  // namespace RevavaRez
