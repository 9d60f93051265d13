#include "stack/ThreadHeader.h"

namespace RevavaRez {

std::string ThreadHeaderText(const TVezavuModuleOptions&, DWORD, bool, bool, TVezavuThreadsList*, DWORD) {
  return std::string();
}

}  // namespace RevavaRez
