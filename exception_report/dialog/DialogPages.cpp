#include "dialog/DialogPages.h"

#include <commctrl.h>

#include <cstring>
#include <exception>

#include "core/ExceptionLog.h"
#include "core/RichTextPages.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "dialog/DialogFonts.h"
#include "dialog/DialogGeometry.h"
#include "dialog/DialogResources.h"
#include "dialog/DialogState.h"
#include "dialog/DialogTimers.h"
#include "dialog/SourceLocation.h"
#include "moduleinfo/ModulesList.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessingState.h"
#include "stack/StackList.h"

namespace RevavaRez {

namespace {

constexpr int kAddressDigits = static_cast<int>(sizeof(uintptr_t) * 2);
// The CPU text's stack column is wider by the extra address digits, so its
// tab stop spans that many more dashes.
constexpr int kCpuTabDashes = sizeof(uintptr_t) == 8 ? 37 : 21;
constexpr long kWhite = 0xFFFFFF;

struct TPageColumn {
  int Text;
  const char* Key;
  int Width;
  bool Right;
};

const TPageColumn kCallStackColumns[] = {
    {62, "Col0", 89, false},  {63, "Col1", 92, false},  {64, "Col2", 126, false},
    {65, "Col3", 126, false}, {66, "Col4", 200, false}, {67, "Col5", 61, true},
};

// The last two widths are stored under each other's key: files written
// before keep their meaning.
const TPageColumn kModulesColumns[] = {
    {84, "ColMod0", 80, false}, {85, "ColMod1", 96, false}, {86, "ColMod2", 175, false},
    {87, "ColMod3", 50, true},  {88, "ColMod4", 54, true},  {89, "ColMod6", 80, false},
    {90, "ColMod5", 712, false},
};

const TVezavuModuleOptions& PageOptions() {
  if (LibraryState().Options) return *LibraryState().Options;
  static const TVezavuModuleOptionsEx defaults(false, std::string());
  return defaults;
}

bool ModulesTabShown(const TVezavuModuleOptions& options) { return (options.LogFlags() & 0x10) != 0; }
bool CpuTabShown(const TVezavuModuleOptions& options) { return (options.LogFlags() & 0x20) != 0; }

// A failure inside a page ends the whole dialog: the page's parent is the
// tab control, whose parent is the dialog.
void FailPage(HWND page) {
  KeepDialogFailure(std::current_exception());
  HWND tabs = GetParent(page);
  HWND dialog = tabs ? GetParent(tabs) : nullptr;
  if (dialog) EndDialog(dialog, 2);
}

void SetHeader(HWND page, int text) { SetDlgItemTextA(page, kIdPageHeader, PageOptions().TextAt(text).c_str()); }

void SetPageFont(HWND control, HFONT font) {
  if (control && font) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

TRichTextFont FixedRichTextFont() {
  const int charSet = DefaultAnsiCharSet();
  const TDialogFontChoice choice = DialogFontChoice(charSet);
  TRichTextFont font;
  font.CharSet = charSet;
  font.Name = choice.FixedFace;
  font.Size = choice.Points;
  return font;
}

// The colours every page shares; 0 leaves the message to the default.
INT_PTR PageColours(UINT message, WPARAM wParam, LPARAM lParam) {
  TDialogState& state = DialogState();
  HDC dc = reinterpret_cast<HDC>(wParam);
  if (message == WM_CTLCOLORSTATIC && GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == kIdPageContent) {
    // A read-only edit asks as a static does; its text stays black on white.
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, OPAQUE);
    return reinterpret_cast<INT_PTR>(state.WhiteBrush ? state.WhiteBrush : GetStockObject(WHITE_BRUSH));
  }
  if (!state.OwnLook || !state.BackgroundBrush) return 0;
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<INT_PTR>(state.BackgroundBrush);
}

// What every page does before its own handling; true when answered.
bool CommonPageMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  if (IsUserActivity(message) || message == WM_NOTIFY) ResetAutoCloseCount();
  if (message == WM_CTLCOLORDLG || message == WM_CTLCOLORSTATIC) {
    result = PageColours(message, wParam, lParam);
    return result != 0;
  }
  return false;
}

void InitTextPage(HWND page, int header, const std::string& rtf) {
  SetHeader(page, header);
  HWND content = GetDlgItem(page, kIdPageContent);
  SetPageFont(content, DialogState().Fonts.Fixed);
  LoadRichText(content, rtf, kWhite);
}

template <size_t N>
void InitListPage(HWND page, int header, const TPageColumn (&columns)[N]) {
  SetHeader(page, header);
  HWND list = GetDlgItem(page, kIdPageContent);
  SetPageFont(list, DialogState().Fonts.List);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  SendMessageA(list, LVM_SETBKCOLOR, 0, RGB(255, 255, 255));
  SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, RGB(255, 255, 255));
  SendMessageA(list, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
  const TVezavuModuleOptions& options = PageOptions();
  for (size_t i = 0; i < N; ++i) {
    std::string title = options.TextAt(columns[i].Text);
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = columns[i].Right ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = ReadCoordinate(columns[i].Key, columns[i].Width);
    column.pszText = &title[0];
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  delete DialogState().PageList;
  DialogState().PageList = nullptr;
  DialogState().PageList = new TListViewItems(list);
}

template <size_t N>
void CloseListPage(HWND page, const TPageColumn (&columns)[N]) {
  HWND list = GetDlgItem(page, kIdPageContent);
  if (list)
    for (size_t i = 0; i < N; ++i)
      WriteCoordinate(columns[i].Key, static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, i, 0)));
  delete DialogState().PageList;
  DialogState().PageList = nullptr;
}

void AddPageRows(const std::vector<TPageRow>& rows) {
  TListViewItems* items = DialogState().PageList;
  if (!items) return;
  items->SetListRedraw(false);
  // Each added row is shown at the end of the control.
  for (const TPageRow& row : rows) items->AddRow(row.Texts, row.HeaderText, row.Header, row.Running, row.Image);
  items->SetListRedraw(true);
}

bool DrawPageItem(HWND page, LPARAM lParam) {
  TListViewItems* items = DialogState().PageList;
  auto item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
  if (!items || !item || item->CtlID != kIdPageContent) return false;
  items->DrawListItem(*item);
  SetWindowLongPtrA(page, DWLP_MSGRESULT, TRUE);
  return true;
}

std::string ItemText(HWND list, int item, int column) {
  char buffer[1024] = {};
  LVITEMA request = {};
  request.iSubItem = column;
  request.pszText = buffer;
  request.cchTextMax = sizeof buffer;
  SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&request));
  buffer[sizeof buffer - 1] = 0;
  return Trim(buffer);
}

uint64_t ModuleDebugValues(uintptr_t address) {
  if (!address) return 0;
  TModulesLock lock;
  const TVezavuModuleInfo* module = Modules().FindByAddress(address);
  if (!module) return 0;
  uint64_t values = 0;
  static_assert(sizeof values == sizeof module->Compiled, "the record's value is 8 bytes");
  std::memcpy(&values, &module->Compiled, sizeof values);
  return values;
}

void ActivateStackRow(HWND list, int item, POINT point) {
  TListViewItems* items = DialogState().PageList;
  if (!items || item < 0) return;
  const std::string line = ItemText(list, item, 5);
  if (line.empty()) {
    items->ToggleGroup(item, point, false);
    return;
  }
  int32_t lineNumber = 0;
  int32_t relativeLine = -1;
  ParseLineColumn(line, lineNumber, relativeLine);
  const uintptr_t address = ParseRowAddress(ItemText(list, item, 0), kAddressDigits);
  const SourceLocationMessage message =
      MakeSourceLocation(ExtractFileName(ModuleFileNameOf(ThisModule())), ItemText(list, item, 2),
                         ItemText(list, item, 3), ItemText(list, item, 4), lineNumber, relativeLine,
                         ModuleDebugValues(address));
  const std::string& server = DialogState().MailslotServer;
  SendSourceLocation(message, server.empty() ? ComputerName() : server);
}

bool CallStackNotify(HWND page, LPARAM lParam) {
  auto header = reinterpret_cast<const NMHDR*>(lParam);
  TListViewItems* items = DialogState().PageList;
  if (!header || header->idFrom != kIdPageContent || !items) return false;
  HWND list = header->hwndFrom;
  if (header->code != NM_CLICK && header->code != NM_DBLCLK && header->code != NM_RETURN) return false;
  SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
  if (header->code == NM_CLICK) {
    auto click = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
    if (click->iItem >= 0 &&
        (SendMessageA(list, LVM_GETITEMSTATE, static_cast<WPARAM>(click->iItem), LVIS_SELECTED) & LVIS_SELECTED))
      items->ToggleGroup(click->iItem, click->ptAction, true);
    return true;
  }
  // Activation is taken from the double-click and from Enter, which each
  // come once. The item-activate notification that follows them is left
  // alone: the one Enter sends carries no item under Wine.
  if (header->code == NM_DBLCLK) {
    auto click = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
    ActivateStackRow(list, click->iItem, click->ptAction);
    return true;
  }
  if (header->code == NM_RETURN) {
    const int focused = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    ActivateStackRow(list, focused, POINT{0, 0});
    return true;
  }
  return false;
}

struct TPageKind {
  const char* Template;
  DLGPROC Procedure;
};

const TPageKind kPages[] = {
    {"RR_TAB_GENERAL", GeneralTabProc},   {"RR_TAB_CALLSTACK", CallStackTabProc},
    {"RR_TAB_MODULESLIST", ModulesTabProc}, {"RR_TAB_CPU", CPUTabProc},
    {"RR_TAB_CUSTOMDATA", CustomDataTabProc},
};

}  // namespace

int PageOfTab(int tab, bool modulesTab, bool cpuTab) {
  int page = tab;
  if (!modulesTab && page > 1) ++page;
  if (!cpuTab && page > 2) ++page;
  return page;
}

int TabOfPage(int page, bool modulesTab, bool cpuTab) {
  int tab = page;
  if (!modulesTab && page > dpModules) --tab;
  if (!cpuTab && page > dpCpu) --tab;
  return tab;
}

int FirstPage(int firstTab, bool modulesTab, bool cpuTab, bool customData) {
  const int page = firstTab & 0x7F;
  if (page > dpCustomData) return dpGeneral;
  if ((page == dpCustomData && !customData) || (page == dpModules && !modulesTab) || (page == dpCpu && !cpuTab))
    return dpGeneral;
  return page;
}

void SelectDialogTab(int tabOrPage, HWND dialog) {
  const TVezavuModuleOptions& options = PageOptions();
  const bool modulesTab = ModulesTabShown(options);
  const bool cpuTab = CpuTabShown(options);
  int page = tabOrPage < 0 ? -1 - tabOrPage : PageOfTab(tabOrPage, modulesTab, cpuTab);
  if (page < dpGeneral || page > dpCustomData) page = dpGeneral;
  DestroyDialogPage();
  HWND tabs = GetDlgItem(dialog, kIdTabs);
  if (!tabs) return;
  if (tabOrPage < 0) SendMessageA(tabs, TCM_SETCURSEL, static_cast<WPARAM>(TabOfPage(page, modulesTab, cpuTab)), 0);
  HWND window = CreateDialogParamA(DialogResourceModule(), kPages[page].Template, tabs, kPages[page].Procedure, 0);
  DialogState().CurrentPage = window;
  if (!window) return;
  FitDialogPage(dialog);
  ShowWindow(window, SW_SHOW);
}

void FitDialogPage(HWND dialog) {
  HWND page = DialogState().CurrentPage;
  HWND tabs = GetDlgItem(dialog, kIdTabs);
  if (!page || !tabs) return;
  RECT area = {};
  GetClientRect(tabs, &area);
  SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  OffsetRect(&area, -3, -1);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  MoveWindow(page, area.left, area.top, width, height, TRUE);
  HWND content = GetDlgItem(page, kIdPageContent);
  if (content) MoveWindow(content, area.left + 3, 20, width - 8, height - 24, TRUE);
}

void DestroyDialogPage() {
  HWND page = DialogState().CurrentPage;
  DialogState().CurrentPage = nullptr;
  if (page) DestroyWindow(page);
  // A page that failed before its destruction may have left its rows.
  delete DialogState().PageList;
  DialogState().PageList = nullptr;
}

namespace {

// The edge of every page procedure: the shared messages, then the page's
// own; no exception leaves it.
template <typename TOwn>
INT_PTR RunPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam, const TOwn& own) {
  try {
    INT_PTR result = 0;
    if (CommonPageMessage(message, wParam, lParam, result)) return result;
    return own();
  } catch (...) {
    FailPage(page);
  }
  return FALSE;
}

template <size_t N, typename TRows>
INT_PTR ListPageMessage(HWND page, UINT message, LPARAM lParam, int header, const TPageColumn (&columns)[N],
                        const TRows& rows) {
  switch (message) {
    case WM_INITDIALOG:
      InitListPage(page, header, columns);
      AddPageRows(rows());
      return TRUE;
    case WM_DRAWITEM:
      return DrawPageItem(page, lParam) ? TRUE : FALSE;
    case WM_DESTROY:
      CloseListPage(page, columns);
      return TRUE;
  }
  return FALSE;
}

std::vector<TPageRow> StackPageRows() {
  const TVezavuStackList* stack = ProcessingState().StoredCallStack.get();
  if (!stack) return {};
  return CallStackRows(*stack, PageOptions(), LibraryState().Threads.get(), LibraryState().MainThreadID,
                       kAddressDigits);
}

std::vector<TPageRow> ModulesPageRows() {
  std::vector<TPageRow> rows;
  TModulesLock lock;
  for (const TVezavuModuleInfo* module : Modules().List())
    if (module) rows.push_back(ModuleRow(*module, kAddressDigits));
  return rows;
}

}  // namespace

INT_PTR CALLBACK GeneralTabProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return RunPage(page, message, wParam, lParam, [&]() -> INT_PTR {
    if (message != WM_INITDIALOG) return FALSE;
    InitTextPage(page, 5, GeneralRichText(ProcessingState().ReportText, FixedRichTextFont()));
    return TRUE;
  });
}

INT_PTR CALLBACK CPUTabProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return RunPage(page, message, wParam, lParam, [&]() -> INT_PTR {
    if (message != WM_INITDIALOG) return FALSE;
    const int tabStop = CpuTabStop(DialogState().Fonts.Fixed, kCpuTabDashes);
    InitTextPage(page, 11, CpuRichText(ProcessingState().CpuText, FixedRichTextFont(), tabStop));
    return TRUE;
  });
}

INT_PTR CALLBACK CustomDataTabProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return RunPage(page, message, wParam, lParam, [&]() -> INT_PTR {
    if (message != WM_INITDIALOG) return FALSE;
    SetHeader(page, 13);
    HWND content = GetDlgItem(page, kIdPageContent);
    SetPageFont(content, DialogState().Fonts.Fixed);
    SetWindowTextA(content, ProcessingState().CustomDataText.c_str());
    return TRUE;
  });
}

INT_PTR CALLBACK CallStackTabProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return RunPage(page, message, wParam, lParam, [&]() -> INT_PTR {
    if (message == WM_NOTIFY) return CallStackNotify(page, lParam) ? TRUE : FALSE;
    return ListPageMessage(page, message, lParam, 7, kCallStackColumns, StackPageRows);
  });
}

INT_PTR CALLBACK ModulesTabProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return RunPage(page, message, wParam, lParam,
                 [&]() { return ListPageMessage(page, message, lParam, 9, kModulesColumns, ModulesPageRows); });
}

}  // namespace RevavaRez
