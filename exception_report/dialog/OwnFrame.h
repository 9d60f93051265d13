#pragma once
// The library's own caption and frame, painted over the non-client area of
// its dialogs.
#include <windows.h>

#include <string>

namespace RevavaRez {

class TVezavuModuleOptions;

// DialogFlags bits 6 (top-most) and 7 (own look) applied to a dialog as it
// opens: without the own look it loses the tool-window style and takes the
// normal caption height.
void SetUpDialogLook(HWND dialog, const TVezavuModuleOptions& options);

void PaintOwnFrame(HWND dialog, const std::string& caption, bool active);
// WM_NCPAINT and WM_NCACTIVATE of a dialog in the own look: paints and
// answers true (the message is handled).
bool HandleOwnFrameMessage(HWND dialog, UINT message, WPARAM wParam, const std::string& caption);

}  // namespace RevavaRez
