#pragma once
// The library's own failures, in the project's one exception hierarchy so
// that every catch site of the engine and the control handles them alike.
#include "base/Exception.h"

namespace RevavaRez {

// The silent abort: ends a guarded step after its failure was reported.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A stream that delivered or took fewer bytes than asked for.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};

class EWriteError : public Exception {
 public:
  using Exception::Exception;
};

// A file stream whose file could not be created or opened.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// An index outside a list.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// The hooking engine's failures: a null routine, a module in the shared
// area of the platforms outside the NT family, and a routine that could not
// be hooked.
class EHookError : public Exception {
 public:
  using Exception::Exception;
};

class EProcNull : public EHookError {
 public:
  using EHookError::EHookError;
};

class EHookingError : public EHookError {
 public:
  using EHookError::EHookError;
};

class ESharedArea : public EHookError {
 public:
  using EHookError::EHookError;
};

}  // namespace RevavaRez
