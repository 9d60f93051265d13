#pragma once
// Window messages among the control's own windows and threads (the engine's
// messages are in EngineMessages.h).
#include <windows.h>

// A thumbnail reader hands one thumbnail block to the control (wParam).
constexpr UINT WM_KRM_ADDNAIL = 1124;
// The full-screen window asks the control to leave full screen.
constexpr UINT WM_KRM_EXITFULL = 1129;
// A double click on the picture asks the control to go full screen.
constexpr UINT WM_KRM_ENTERFULL = 1132;
constexpr UINT WM_KRM_RELAYOUT = 1424;
// The thumbnail layout thread asks the control to place one thumbnail (wParam).
constexpr UINT WM_KRM_LAYOUTNAIL = 1425;
// A thumbnail download has fetched images into the temporary folder
// (wParam: the download's number, so that only the current one counts).
constexpr UINT WM_KRM_NAILSDOWNLOADED = 1426;
