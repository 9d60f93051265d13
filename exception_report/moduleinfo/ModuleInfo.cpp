#include "moduleinfo/ModuleInfo.h"

namespace RevavaRez {

bool ModulesEnumerating = false;

std::string ModuleDirectory(const TVezavuModuleInfo& module) {
  const std::string& name = module.FileName;
  size_t slash = name.find_last_of('\\');
  if (slash == std::string::npos) return std::string();
  if (slash > 0 && name[slash - 1] == ':') return name.substr(0, slash + 1);
  return name.substr(0, slash);
}

}  // namespace RevavaRez
