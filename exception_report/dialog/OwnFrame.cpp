#include "dialog/OwnFrame.h"
namespace RevavaRez {
void PaintOwnFrame(HWND, const std::string&, bool) {}
bool HandleOwnFrameMessage(HWND, UINT, WPARAM, const std::string&) { return false; }
}  // namespace RevavaRez
