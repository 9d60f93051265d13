// The exports every module that carries the library has.
#include "events/ExceptionRecord.h"
