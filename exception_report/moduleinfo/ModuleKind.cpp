#include "moduleinfo/ModuleKind.h"

#include "core/ExceptionLog.h"
#include "moduleinfo/ModuleInfo.h"
#include "moduleinfo/PEImage.h"

namespace RevavaRez {

uint8_t ModuleKindOf(const void* image, const std::string& fileName) {
  TPEHeaders headers;
  if (!ReadPEHeaders(image, headers)) return mkUnknown;
  if ((headers.Characteristics & IMAGE_FILE_DLL) == 0) return mkProgram;
  // Loaded as data: no entry point runs and nothing is resolved.
  HMODULE data = LoadLibraryExA(fileName.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (data == nullptr) return mkLibrary;
  const bool package = FindResourceA(data, "PACKAGEINFO", MAKEINTRESOURCEA(10)) != nullptr &&
                       FindResourceA(data, "PACKAGEOPTIONS", MAKEINTRESOURCEA(10)) != nullptr;
  FreeLibrary(data);
  return package ? mkPackage : mkLibrary;
}

uint8_t ModuleKindOf(HMODULE module) { return ModuleKindOf(module, ModuleFileNameOf(module)); }

}  // namespace RevavaRez
