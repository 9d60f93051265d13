#include "dialog/DialogGeometry.h"
namespace RevavaRez {
int IniNumber(const std::string&, int defaultValue) { return defaultValue; }
int ReadCoordinate(const std::string&, int defaultValue) { return defaultValue; }
void WriteCoordinate(const std::string&, int) {}
void LoadDialogGeometry() {}
void SaveDialogGeometry() {}
}  // namespace RevavaRez
