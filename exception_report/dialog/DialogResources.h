#pragma once
// Where the dialogs' templates and bitmaps come from, and the identifiers
// the templates and the dialog procedures share.
#include <windows.h>

namespace RevavaRez {

// The module the templates and bitmaps are loaded from: this module unless
// a test points it at one without them.
HMODULE DialogResourceModule();
void SetDialogResourceModule(HMODULE module);

// Controls of the main dialog.
constexpr int kIdOk = 2;
constexpr int kIdClose = 3;
constexpr int kIdDetails = 4;
constexpr int kIdMessage = 101;
constexpr int kIdTabs = 1000;
constexpr int kIdEtchedLine = 2000;
constexpr int kIdSendBox = 3000;
constexpr int kIdScreenshotBox = 4000;
constexpr int kIdCopyBox = 5000;
// Controls of every page.
constexpr int kIdPageHeader = 102;
constexpr int kIdPageContent = 103;

// Timers of the dialogs.
constexpr UINT_PTR kFirstPaintTimer = 1;
constexpr UINT_PTR kAutoCloseTimer = 2;
constexpr UINT_PTR kKeepInFrontTimer = 3;

}  // namespace RevavaRez
