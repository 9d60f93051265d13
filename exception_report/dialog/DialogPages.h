#pragma once
// The tab pages of the detailed exception dialog: General, Call Stack,
// Modules, CPU and Other, each a child dialog made when its tab is chosen.
#include <windows.h>

#include <string>
#include <vector>

#include "dialog/ListViewItems.h"
#include "moduleinfo/ModuleInfo.h"
#include "stack/StackList.h"

namespace RevavaRez {

class TVezavuModuleOptions;
class TVezavuThreadsList;

enum TDialogPage { dpGeneral = 0, dpCallStack = 1, dpModules = 2, dpCpu = 3, dpCustomData = 4 };

// A tab index as the page it shows, the Modules and CPU tabs being present or
// not.
int PageOfTab(int tab, bool modulesTab, bool cpuTab);
// The tab the control selects for a page.
int TabOfPage(int page, bool modulesTab, bool cpuTab);
// The page the dialog opens with: FirstTab's low 7 bits, General for a value
// out of range, for the custom-data page without custom data, or for an
// absent tab.
int FirstPage(int firstTab, bool modulesTab, bool cpuTab, bool customData);

// Negative: -1 - page index; otherwise a tab index.
void SelectDialogTab(int tabOrPage, HWND dialog);
// Fits the current page into the tab control's display rectangle.
void FitDialogPage(HWND dialog);
void DestroyDialogPage();

// The pages' dialog procedures, in page order.
INT_PTR CALLBACK GeneralTabProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CallStackTabProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ModulesTabProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CPUTabProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CustomDataTabProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// One row of a list page.
struct TPageRow {
  std::vector<std::string> Texts;
  std::string HeaderText;
  bool Header = false;
  int32_t Running = 0;
  int32_t Image = liNone;
};

// The Call Stack page's rows for the entries, addresses at the given digits.
std::vector<TPageRow> CallStackRows(const TVezavuStackList& stack, const TVezavuModuleOptions& options,
                                    TVezavuThreadsList* threads, DWORD mainThreadID, int addressDigits);
// The Modules page's row of a record, the handle at the given digits.
TPageRow ModuleRow(const TVezavuModuleInfo& module, int handleDigits);
// "5.1.x" for "5.1.10.0"; a version with fewer than two dots is kept.
std::string ShortVersion(const std::string& version);
// Bytes / 1024, rounded half to even, and " Kb".
std::string KilobyteText(uint32_t bytes);

// The address column read back: hexadecimal at the width; 0 when not one.
uintptr_t ParseRowAddress(const std::string& text, int digits);
// "123[4]": line 123, relative line 4; "57": relative line -1.
void ParseLineColumn(const std::string& text, int32_t& line, int32_t& relativeLine);

}  // namespace RevavaRez
