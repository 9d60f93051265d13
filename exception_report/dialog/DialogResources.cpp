#include "dialog/DialogResources.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace RevavaRez {

namespace {
HMODULE ResourceModule = reinterpret_cast<HMODULE>(&__ImageBase);
}

HMODULE DialogResourceModule() { return ResourceModule; }
void SetDialogResourceModule(HMODULE module) { ResourceModule = module; }

}  // namespace RevavaRez
