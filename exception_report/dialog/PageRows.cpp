#include "dialog/DialogPages.h"

namespace RevavaRez {

// Placeholder until the rows are built.
std::vector<TPageRow> CallStackRows(const TVezavuStackList&, const TVezavuModuleOptions&, TVezavuThreadsList*, DWORD,
                                    int) {
  return {};
}
TPageRow ModuleRow(const TVezavuModuleInfo&, int) { return {}; }
std::string ShortVersion(const std::string& version) { return version; }
std::string KilobyteText(uint32_t) { return std::string(); }
uintptr_t ParseRowAddress(const std::string&, int) { return 0; }
void ParseLineColumn(const std::string&, int32_t& line, int32_t& relativeLine) {
  line = 0;
  relativeLine = -1;
}

}  // namespace RevavaRez
