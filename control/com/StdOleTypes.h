#pragma once
// Included by the header widl makes from Brindolux.idl in place of the
// widl-only declarations of StdOleTypes.idl.
#include <olectl.h>
