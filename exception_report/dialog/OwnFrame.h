#pragma once
// The library's own caption and frame, painted over the non-client area of
// its dialogs.
#include <windows.h>

#include <string>

namespace RevavaRez {

void PaintOwnFrame(HWND dialog, const std::string& caption, bool active);
// WM_NCPAINT and WM_NCACTIVATE of a dialog in the own look: paints and
// answers true (the message is handled).
bool HandleOwnFrameMessage(HWND dialog, UINT message, WPARAM wParam, const std::string& caption);

}  // namespace RevavaRez
