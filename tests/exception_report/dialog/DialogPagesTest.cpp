// The tab pages of the exception dialog on a host window of the test's own
// that holds the tab control, with the processing state and the options set
// by each test; their rows as pure functions at both address widths; and
// the source-location message received by a mailslot listener of the test.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "MessageBoxWatchdog.h"
#include "PumpUntil.h"
#include "WindowShot.h"
#include "core/DateTime.h"
#include "core/ExceptionLog.h"
#include "core/VArevText.h"
#include "dialog/DialogPages.h"
#include "dialog/DialogResources.h"
#include "dialog/DialogState.h"
#include "dialog/ListViewItems.h"
#include "dialog/SourceLocation.h"
#include "moduleinfo/ModulesList.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessingState.h"
#include "report/CpuSection.h"
#include "report/ReportFiles.h"
#include "stack/StackList.h"

using namespace RevavaRez;

namespace {

constexpr int kDigits = static_cast<int>(sizeof(uintptr_t) * 2);

// ---------------------------------------------------------------------------
// Pure: tabs, pages and the first page.

TEST(PageMapping, TabsMapToPagesOverTheTabsPresent) {
  struct TCase {
    bool Modules, Cpu;
    std::vector<int> Pages;  // page of tab 0, 1, ...
  };
  const TCase cases[] = {
      {true, true, {0, 1, 2, 3, 4}},
      {false, true, {0, 1, 3, 4}},
      {true, false, {0, 1, 2, 4}},
      {false, false, {0, 1, 4}},
  };
  for (const TCase& c : cases) {
    for (int tab = 0; tab < static_cast<int>(c.Pages.size()); ++tab) {
      SCOPED_TRACE("modules " + std::to_string(c.Modules) + " cpu " + std::to_string(c.Cpu) + " tab " +
                   std::to_string(tab));
      EXPECT_EQ(PageOfTab(tab, c.Modules, c.Cpu), c.Pages[static_cast<size_t>(tab)]);
      EXPECT_EQ(TabOfPage(c.Pages[static_cast<size_t>(tab)], c.Modules, c.Cpu), tab);
    }
  }
}

TEST(PageMapping, FirstPageFallsBackToGeneral) {
  struct TCase {
    int FirstTab;
    bool Modules, Cpu, Custom;
    int Page;
  };
  const TCase cases[] = {
      {4, true, true, true, dpCustomData},  {4, true, true, false, dpGeneral},
      {2, true, true, false, dpModules},    {2, false, true, false, dpGeneral},
      {3, true, true, false, dpCpu},        {3, true, false, false, dpGeneral},
      {5, true, true, true, dpGeneral},     {127, true, true, true, dpGeneral},
      {0x81, true, true, true, dpCallStack},  // only the low 7 bits count
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FirstTab);
    EXPECT_EQ(FirstPage(c.FirstTab, c.Modules, c.Cpu, c.Custom), c.Page);
  }
}

// ---------------------------------------------------------------------------
// Pure: the rows.

struct TStackFixture {
  TVezavuModuleInfo Program, Library, Package, Unknown, Odd;
  TVezavuStackList Stack;

  TStackFixture() {
    Program.FileName = "C:\\App\\Prog.exe";
    Program.Kind = mkProgram;
    Library.FileName = "C:\\Windows\\system32\\Lib.dll";
    Library.Kind = mkLibrary;
    Package.FileName = "C:\\App\\Pkg.bpl";
    Package.Kind = mkPackage;
    Unknown.FileName = "C:\\App\\Other.dll";
    Unknown.Kind = mkUnknown;
    Odd.FileName = "C:\\App\\Odd.dll";
    Odd.Kind = 7;
    Add(10, false, dkLineTables, &Program, 0x401000, "Main", "TForm1", "Button1Click", 123, 4);
    Add(10, false, dkExportSplit, &Program, 0x401100, "Prog", "", "Hidden", 0, 0);  // left out
    Add(10, false, dkExportSplit, &Library, 0x7C801000, "Lib", "", "Split", 0, 0);
    Add(10, false, dkExportName, &Package, 0x500000, "Pkg", "", "Named", 0, 0);
    Add(10, false, dkExportName, &Program, 0x402000, "Prog", "", "Export", 0, 0);
    Add(10, false, dkExportName, &Unknown, 0x600000, "Other", "", "Unknown", 0, 0);
    Add(10, false, dkExportName, &Odd, 0x610000, "Odd", "", "Odd", 0, 0);
    Add(10, false, dkAddress, nullptr, 0x700000, "", "", "", 0, 0);  // never in the mask
    Add(20, true, dkLineTables, &Program, 0x403000, "Work", "TWorker", "Execute", 57, 0);
    Add(30, true, dkLineTables, &Program, 0x404000, "Pool", "", "Run", 0, 0);
    Add(40, false, dkLineTables, &Program, 0x405000, "Caller", "", "Call", 9, 2);
  }

  void Add(DWORD thread, bool running, uint8_t kind, TVezavuModuleInfo* module, uintptr_t address,
           const char* unit, const char* className, const char* procedure, int32_t line, int32_t relative) {
    auto entry = new TVezavuStackEntry;
    entry->ThreadID = thread;
    entry->ThreadFlag = running;
    entry->Kind = kind;
    entry->Module = module;
    entry->Address = address;
    entry->UnitName = unit;
    entry->ClassName = className;
    entry->ProcedureName = procedure;
    entry->Line = line;
    entry->RelativeLine = relative;
    Stack.Add(entry);
  }
};

// "S" separator, "H<running>:<thread header prefix>", "D<image>:<texts|...>".
std::string RowLine(const TPageRow& row) {
  if (row.Header) return "H" + std::to_string(row.Running) + ":" + row.HeaderText.substr(0, row.HeaderText.find(':'));
  std::string texts;
  bool empty = true;
  for (size_t i = 0; i < row.Texts.size(); ++i) {
    texts += (i ? "|" : "") + row.Texts[i];
    if (!row.Texts[i].empty()) empty = false;
  }
  if (empty && row.Image == liNone) return "S";
  return "D" + std::to_string(row.Image) + ":" + texts;
}

TEST(CallStackRows, FollowTheKindMaskWithSeparatorsHeadersAndIcons) {
  TStackFixture fixture;
  TVezavuModuleOptionsEx options(false, std::string());
  struct TCase {
    uint8_t StackFlags;
    int Digits;
    std::vector<std::string> Rows;
  };
  auto address = [](uint64_t value, int digits) { return HexText(value, digits); };
  std::vector<TCase> cases;
  for (int digits : {8, 16}) {
    // Every kind: the program's export-split entry stays out, the address
    // entry is never listed; a running group after the first is set apart.
    cases.push_back({0x13, digits,
                     {"H0:Exception Thread",
                      "D3:" + address(0x401000, digits) + "|Prog.exe|Main|TForm1|Button1Click|123[4]",
                      "D0:" + address(0x7C801000, digits) + "|Lib.dll|Lib||Split|",
                      "D1:" + address(0x500000, digits) + "|Pkg.bpl|Pkg||Named|",
                      "D2:" + address(0x402000, digits) + "|Prog.exe|Prog||Export|",
                      "D0:" + address(0x600000, digits) + "|Other.dll|Other||Unknown|",
                      "D3:" + address(0x610000, digits) + "|Odd.dll|Odd||Odd|", "S", "H1:Running Thread",
                      "D3:" + address(0x403000, digits) + "|Prog.exe|Work|TWorker|Execute|57[0]", "S",
                      "H1:Running Thread", "D3:" + address(0x404000, digits) + "|Prog.exe|Pool||Run|",
                      "H0:Calling Thread", "D3:" + address(0x405000, digits) + "|Prog.exe|Caller||Call|9[2]"}});
    // Line-table entries only, lines without the relative part.
    cases.push_back({0x00, digits,
                     {"H0:Exception Thread",
                      "D3:" + address(0x401000, digits) + "|Prog.exe|Main|TForm1|Button1Click|123", "S",
                      "H1:Running Thread", "D3:" + address(0x403000, digits) + "|Prog.exe|Work|TWorker|Execute|57",
                      "S", "H1:Running Thread", "D3:" + address(0x404000, digits) + "|Prog.exe|Pool||Run|",
                      "H0:Calling Thread", "D3:" + address(0x405000, digits) + "|Prog.exe|Caller||Call|9"}});
  }
  for (const TCase& c : cases) {
    SCOPED_TRACE("flags " + std::to_string(c.StackFlags) + " digits " + std::to_string(c.Digits));
    options.SetStackFlags(c.StackFlags);
    std::vector<std::string> lines;
    for (const TPageRow& row : CallStackRows(fixture.Stack, options, nullptr, 0, c.Digits)) {
      lines.push_back(RowLine(row));
      // Every row carries all six columns, so the control shows each.
      EXPECT_EQ(row.Texts.size(), 6u);
    }
    EXPECT_EQ(lines, c.Rows);
  }
}

TEST(ModuleRows, ShowTheRecordAtBothWidths) {
  TVezavuModuleInfo module;
  module.Handle = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000));
  module.FileName = "C:\\Windows\\system32\\KERNEL32.DLL";
  module.Description = "Windows NT BASE API Client DLL";
  module.Version = "5.1.10.0";
  module.Size = 1536;
  module.Modified = EncodeDateTime(2024, 3, 5, 7, 8, 9);
  const TPageRow narrow = ModuleRow(module, 8);
  EXPECT_EQ(narrow.Texts, (std::vector<std::string>{"10000000", "KERNEL32.DLL", "Windows NT BASE API Client DLL",
                                                    "5.1.x", "2 Kb", "2024-03-05 07:08:09", "C:\\Windows\\system32"}));
  EXPECT_EQ(narrow.Image, liDll);
  EXPECT_FALSE(narrow.Header);
  EXPECT_EQ(ModuleRow(module, 16).Texts[0], "0000000010000000");

  module.FileName = "C:\\KERNEL32.DLL";
  EXPECT_EQ(ModuleRow(module, 8).Texts[6], "C:\\") << "a drive root keeps its backslash";

  const std::pair<const char*, int32_t> icons[] = {
      {"C:\\a\\x.bpl", liBpl}, {"C:\\a\\x.DPL", liBpl}, {"C:\\a\\x.exe", liVcl},
      {"C:\\a\\x.Dll", liDll}, {"C:\\a\\x.ocx", liDll}, {"C:\\a\\noext", liDll},
  };
  for (const auto& icon : icons) {
    module.FileName = icon.first;
    EXPECT_EQ(ModuleRow(module, 8).Image, icon.second) << icon.first;
  }
}

TEST(ModuleRows, VersionAndSizeTexts) {
  const std::pair<const char*, const char*> versions[] = {
      {"5.1.10.0", "5.1.x"}, {"1.2.3", "1.2.x"}, {"10.0", "10.0"}, {"7", "7"}, {"", ""}, {"1..2", "1..x"}};
  for (const auto& v : versions) EXPECT_EQ(ShortVersion(v.first), v.second) << v.first;
  // Half a kilobyte goes to the even neighbour.
  const std::pair<uint32_t, const char*> sizes[] = {
      {0, "0 Kb"},    {511, "0 Kb"},  {512, "0 Kb"},  {513, "1 Kb"},          {1023, "1 Kb"},
      {1536, "2 Kb"}, {2560, "2 Kb"}, {2561, "3 Kb"}, {3584, "4 Kb"},         {0xFFFFFFFFu, "4194304 Kb"},
  };
  for (const auto& s : sizes) EXPECT_EQ(KilobyteText(s.first), s.second) << s.first;
}

TEST(RowTexts, AddressAndLineColumnReadBack) {
  struct TAddress {
    const char* Text;
    int Digits;
    uint64_t Value;
  };
  const bool wide = sizeof(uintptr_t) == 8;
  const TAddress addresses[] = {
      {"00401000", 8, 0x401000},
      {"7c801000", 8, 0x7C801000},
      {"0000000140001000", 16, wide ? 0x140001000ull : 0},
      {"0000000000401000", 16, 0x401000},
      {"FFFFFFFFFFFFFFFF", 16, wide ? 0xFFFFFFFFFFFFFFFFull : 0},
      {"123456789", 8, 0},  // wider than the column
      {"", 8, 0},
      {"$401000", 8, 0},
      {"40 1000", 8, 0},
  };
  for (const TAddress& a : addresses)
    EXPECT_EQ(static_cast<uint64_t>(ParseRowAddress(a.Text, a.Digits)), a.Value) << a.Text;

  struct TLine {
    const char* Text;
    int32_t Line, Relative;
  };
  const TLine lines[] = {
      {"123[4]", 123, 4}, {"57", 57, -1}, {"9[x]", 9, -1}, {"9[]", 9, -1},
      {"12[34", 12, 34},  {"", 0, -1},    {"99999999999", 2147483647, -1},
  };
  for (const TLine& l : lines) {
    int32_t line = -7, relative = -7;
    ParseLineColumn(l.Text, line, relative);
    EXPECT_EQ(line, l.Line) << l.Text;
    EXPECT_EQ(relative, l.Relative) << l.Text;
  }
}

TEST(SourceLocation, MessageIsZeroFilledWithTextsCut) {
  const std::string longText(120, 'u');
  const SourceLocationMessage message =
      MakeSourceLocation("Prog.exe", longText, "TForm1", "Click", 123, 4, 0x1122334455667788ull);
  EXPECT_EQ(std::string(message.ModuleName), "Prog.exe");
  EXPECT_EQ(std::string(message.UnitName), std::string(89, 'u'));
  EXPECT_EQ(message.UnitName[89], 0);
  for (size_t i = 9; i < sizeof message.ModuleName; ++i) EXPECT_EQ(message.ModuleName[i], 0) << i;
  EXPECT_EQ(message.Line, 123);
  EXPECT_EQ(message.RelativeLine, 4);
  EXPECT_EQ(message.DebugValue1, 0x55667788u) << "low half first";
  EXPECT_EQ(message.DebugValue2, 0x11223344u);
}

// ---------------------------------------------------------------------------
// Windows: the pages in a tab control of a host window.

// The four slots the source editor listens on, made by the test on ".".
class TSlotListener {
 public:
  TSlotListener() {
    for (int n = 0; n < 4; ++n)
      FSlots[n] = CreateMailslotA(("\\\\.\\mailslot\\RevavaRez" + std::to_string(n)).c_str(), 0, 5000, nullptr);
  }
  ~TSlotListener() {
    for (HANDLE slot : FSlots)
      if (slot != INVALID_HANDLE_VALUE) CloseHandle(slot);
  }
  bool Ready() const {
    for (HANDLE slot : FSlots)
      if (slot == INVALID_HANDLE_VALUE) return false;
    return true;
  }
  // The next message of each slot, waiting at most the slot's timeout.
  std::vector<std::string> Receive() {
    std::vector<std::string> messages;
    for (HANDLE slot : FSlots) {
      char buffer[1024];
      DWORD read = 0;
      messages.push_back(ReadFile(slot, buffer, sizeof buffer, &read, nullptr) ? std::string(buffer, read)
                                                                                : std::string());
    }
    return messages;
  }
  // Messages waiting now, without waiting.
  int Waiting() {
    int count = 0;
    for (HANDLE slot : FSlots) {
      DWORD next = 0, waiting = 0;
      if (GetMailslotInfo(slot, nullptr, &next, &waiting, nullptr)) count += static_cast<int>(waiting);
    }
    return count;
  }

 private:
  HANDLE FSlots[4];
};

std::string WindowText(HWND window) {
  std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(window, &text[0], static_cast<int>(text.size()))));
  return text;
}

// Each run of blanks and tabs as one blank.
std::string OneBlankPerGap(const std::string& text) {
  std::string result;
  for (char c : text) {
    const bool gap = c == ' ' || c == '\t';
    if (gap && !result.empty() && result.back() == ' ') continue;
    result += gap ? ' ' : c;
  }
  return result;
}

std::string IniFilePath() {
  char folder[MAX_PATH] = {};
  GetWindowsDirectoryA(folder, MAX_PATH);
  return std::string(folder) + "\\" + kSettingsFileName;
}

class DialogPages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    RichEdit = LoadLibraryA("RICHED32.DLL");
  }
  static void TearDownTestSuite() {
    if (RichEdit) FreeLibrary(RichEdit);
  }

  void SetUp() override {
    ASSERT_NE(RichEdit, nullptr);
    FSavedOptions = std::move(LibraryState().Options);
    LibraryState().Options = std::make_unique<TVezavuModuleOptionsEx>(false, std::string());
    Host = CreateWindowExA(0, "STATIC", "pages host", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 20, 20,
                           760, 420, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(Host, nullptr);
    Tabs = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 4, 4, 740, 370, Host,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdTabs)), GetModuleHandleA(nullptr),
                           nullptr);
    ASSERT_NE(Tabs, nullptr);
    DialogState().MailslotServer = ".";
  }

  void TearDown() override {
    DestroyDialogPage();
    if (Host) DestroyWindow(Host);
    PumpPending();
    LibraryState().Options = std::move(FSavedOptions);
    TProcessingState& processing = ProcessingState();
    processing.ReportText.clear();
    processing.CpuText.clear();
    processing.CustomDataText.clear();
    processing.StoredCallStack.reset();
    DialogState().MailslotServer.clear();
    EXPECT_TRUE(Watchdog.TakeDismissed().empty()) << "a box came up";
  }

  TVezavuModuleOptionsEx& Options() { return *LibraryState().Options; }

  void AddTabs(int count) {
    SendMessageA(Tabs, TCM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < count; ++i) {
      TCITEMA item = {};
      item.mask = TCIF_TEXT;
      std::string text = "Tab " + std::to_string(i);
      item.pszText = &text[0];
      SendMessageA(Tabs, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
  }

  std::string PageHeader() { return WindowText(GetDlgItem(DialogState().CurrentPage, kIdPageHeader)); }
  HWND Content() { return GetDlgItem(DialogState().CurrentPage, kIdPageContent); }

  void Shot(const std::string& name) {
    PumpPending();
    RedrawWindow(Host, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    int width = 0, height = 0;
    CaptureWindow(Host, name, width, height);
  }

  static HMODULE RichEdit;
  TMessageBoxWatchdog Watchdog;
  std::unique_ptr<TVezavuModuleOptionsEx> FSavedOptions;
  HWND Host = nullptr;
  HWND Tabs = nullptr;
};

HMODULE DialogPages::RichEdit = nullptr;

TEST_F(DialogPages, TabsChoosePagesWithModulesOrCpuAbsent) {
  struct TCase {
    uint8_t LogFlags;
    int Tab;
    const char* Header;
  };
  const TCase cases[] = {
      {0x30, 2, "Modules Information"}, {0x30, 3, "CPU Information"},     {0x30, 4, "Other Information"},
      {0x20, 2, "CPU Information"},     {0x20, 3, "Other Information"},   {0x10, 2, "Modules Information"},
      {0x10, 3, "Other Information"},   {0x00, 2, "Other Information"},   {0x00, 1, "Call Stack Information"},
      {0x00, 0, "General Information"},
  };
  ProcessingState().CustomDataText = "custom";
  for (const TCase& c : cases) {
    SCOPED_TRACE("flags " + std::to_string(c.LogFlags) + " tab " + std::to_string(c.Tab));
    Options().SetLogFlags(c.LogFlags);
    SelectDialogTab(c.Tab, Host);
    ASSERT_NE(DialogState().CurrentPage, nullptr);
    EXPECT_EQ(GetParent(DialogState().CurrentPage), Tabs) << "a child of the tab control";
    EXPECT_EQ(PageHeader(), c.Header);
  }
}

TEST_F(DialogPages, FirstTabOpensItsPageOrGeneral) {
  struct TCase {
    uint8_t LogFlags;
    uint8_t FirstTab;
    bool Custom;
    const char* Header;
    int Tab;  // the tab the control selects
  };
  const TCase cases[] = {
      {0x30, 4, true, "Other Information", 4},    {0x30, 4, false, "General Information", 0},
      {0x00, 4, true, "Other Information", 2},    {0x30, 9, true, "General Information", 0},
      {0x20, 2, true, "General Information", 0},  {0x10, 3, true, "General Information", 0},
      {0x10, 2, true, "Modules Information", 2},  {0x20, 3, true, "CPU Information", 2},
      {0x30, 0x83, true, "CPU Information", 3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE("flags " + std::to_string(c.LogFlags) + " first " + std::to_string(c.FirstTab));
    Options().SetLogFlags(c.LogFlags);
    Options().SetFirstTab(c.FirstTab);
    ProcessingState().CustomDataText = c.Custom ? "custom" : "";
    const bool modules = (c.LogFlags & 0x10) != 0, cpu = (c.LogFlags & 0x20) != 0;
    AddTabs(2 + modules + cpu + c.Custom);
    SelectDialogTab(-1 - FirstPage(Options().FirstTab(), modules, cpu, c.Custom), Host);
    EXPECT_EQ(PageHeader(), c.Header);
    EXPECT_EQ(SendMessageA(Tabs, TCM_GETCURSEL, 0, 0), c.Tab);
  }
}

TEST_F(DialogPages, TextPagesShowTheTextsAndFitTheTabControl) {
  TProcessingState& processing = ProcessingState();
  processing.ReportText =
      "Application:\r\n-------------\r\n  1.1 Start Date     : Mon, 01 Jan 2024 10:00:00\r\n"
      "  1.2 Name/Description: Prog.exe\r\n\r\nException:\r\n  2.1 Message: Access violation\r\n";
  const TCpuTexts labels{"Registers", "Stack", "Memory Dump"};
  const TCpuRegisters registers{1, 2, 3, 4, 5, 0x1000, 7, 0x2000};
  processing.CpuText = CpuSectionText(
      true, labels, &registers, 0x2000, kDigits, [](uint64_t address, void* out, size_t size) {
        for (size_t i = 0; i < size; ++i) static_cast<uint8_t*>(out)[i] = static_cast<uint8_t>(address + i);
        return true;
      });
  ASSERT_FALSE(processing.CpuText.empty());
  processing.CustomDataText = "Custom line 1\r\nCustom line 2";
  Options().SetLogFlags(0x30);

  struct TCase {
    int Page;
    const std::string* Text;
    const char* Shot;
  };
  const TCase cases[] = {
      {dpGeneral, &processing.ReportText, "pages_general"},
      {dpCpu, &processing.CpuText, "pages_cpu"},
      {dpCustomData, &processing.CustomDataText, "pages_other"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Shot);
    SelectDialogTab(-1 - c.Page, Host);
    HWND content = Content();
    ASSERT_NE(content, nullptr);
    // Rich edit drops the last paragraph mark; the CPU page sets its
    // columns apart by a tab in place of the blanks between them.
    std::string expected = *c.Text;
    if (expected.size() >= 2 && expected.compare(expected.size() - 2, 2, "\r\n") == 0)
      expected.resize(expected.size() - 2);
    std::string shown = WindowText(content);
    if (c.Page == dpCpu) {
      EXPECT_NE(shown.find('\t'), std::string::npos);
      shown = OneBlankPerGap(shown);
      expected = OneBlankPerGap(expected);
    }
    EXPECT_EQ(shown, expected);

    RECT area = {};
    GetClientRect(Tabs, &area);
    SendMessageA(Tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    RECT page = {};
    GetWindowRect(DialogState().CurrentPage, &page);
    MapWindowPoints(nullptr, Tabs, reinterpret_cast<POINT*>(&page), 2);
    EXPECT_EQ(page.left, area.left - 3);
    EXPECT_EQ(page.top, area.top - 1);
    EXPECT_EQ(page.right - page.left, area.right - area.left);
    RECT inner = {};
    GetWindowRect(content, &inner);
    MapWindowPoints(nullptr, DialogState().CurrentPage, reinterpret_cast<POINT*>(&inner), 2);
    EXPECT_EQ(inner.top, 20);
    EXPECT_EQ(inner.right - inner.left, area.right - area.left - 8);
    EXPECT_EQ(inner.bottom - inner.top, area.bottom - area.top - 24);
    Shot(c.Shot);
  }
}

TEST_F(DialogPages, ContentOfTextPagesStaysBlackOnWhiteInTheOwnLook) {
  HBRUSH background = CreateSolidBrush(RGB(200, 210, 220));
  DialogState().OwnLook = true;
  DialogState().BackgroundBrush = background;
  ProcessingState().CustomDataText = "custom";
  SelectDialogTab(-1 - dpCustomData, Host);
  HWND page = DialogState().CurrentPage;
  HDC dc = GetDC(page);
  const LRESULT header = SendMessageA(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                      reinterpret_cast<LPARAM>(GetDlgItem(page, kIdPageHeader)));
  const LRESULT dialog = SendMessageA(page, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                                      reinterpret_cast<LPARAM>(page));
  const LRESULT content = SendMessageA(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(Content()));
  const COLORREF contentBack = GetBkColor(dc);
  ReleaseDC(page, dc);
  Shot("pages_other_own_look");
  DialogState().OwnLook = false;
  DialogState().BackgroundBrush = nullptr;
  DestroyDialogPage();
  DeleteObject(background);
  EXPECT_EQ(reinterpret_cast<HBRUSH>(header), background);
  EXPECT_EQ(reinterpret_cast<HBRUSH>(dialog), background);
  EXPECT_NE(reinterpret_cast<HBRUSH>(content), background);
  EXPECT_NE(content, 0);
  EXPECT_EQ(contentBack, RGB(255, 255, 255));
}

TEST_F(DialogPages, ColumnWidthsAreSavedUnderTheirKeysAndComeBack) {
  DeleteFileA(IniFilePath().c_str());
  Options().SetLogFlags(0x30);
  struct TCase {
    int Page;
    std::vector<int> Defaults;
    std::vector<const char*> Keys;  // of columns 0, 1, ...
  };
  const TCase cases[] = {
      {dpCallStack, {89, 92, 126, 126, 200, 61}, {"Col0", "Col1", "Col2", "Col3", "Col4", "Col5"}},
      {dpModules,
       {80, 96, 175, 50, 54, 80, 712},
       {"ColMod0", "ColMod1", "ColMod2", "ColMod3", "ColMod4", "ColMod6", "ColMod5"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Page);
    SelectDialogTab(-1 - c.Page, Host);
    HWND list = Content();
    ASSERT_EQ(SendMessageA(reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0)), HDM_GETITEMCOUNT, 0, 0),
              static_cast<LRESULT>(c.Defaults.size()));
    for (size_t i = 0; i < c.Defaults.size(); ++i) {
      EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, i, 0), c.Defaults[i]) << i;
      SendMessageA(list, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(40 + 3 * i, 0));
    }
    EXPECT_EQ(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    EXPECT_EQ(SendMessageA(list, LVM_GETBKCOLOR, 0, 0), RGB(255, 255, 255));
    DestroyDialogPage();
    for (size_t i = 0; i < c.Keys.size(); ++i)
      EXPECT_EQ(IniRead(kSettingsFileName, "Coordinates", c.Keys[i], ""), std::to_string(40 + 3 * i)) << c.Keys[i];

    SelectDialogTab(-1 - c.Page, Host);
    for (size_t i = 0; i < c.Defaults.size(); ++i)
      EXPECT_EQ(SendMessageA(Content(), LVM_GETCOLUMNWIDTH, i, 0), static_cast<LRESULT>(40 + 3 * i)) << i;
    DestroyDialogPage();
  }
  // A stored value that is no number takes the default.
  IniWrite(kSettingsFileName, "Coordinates", "Col2", "wide");
  SelectDialogTab(-1 - dpCallStack, Host);
  EXPECT_EQ(SendMessageA(Content(), LVM_GETCOLUMNWIDTH, 2, 0), 126);
  DestroyDialogPage();
  DeleteFileA(IniFilePath().c_str());
}

// A function of this program, so a row's address lies in its module.
__attribute__((noinline)) void RowAddressAnchor() { Sleep(0); }

// The call stack of one data row (line 123, relative 4, long texts) in this
// program, and a second thread whose row has no relative line.
class CallStackPage : public DialogPages {
 protected:
  void SetUp() override {
    DialogPages::SetUp();
    TVezavuModuleInfo* program = nullptr;
    {
      TModulesLock lock;
      program = Modules().FindByHandle(GetModuleHandleA(nullptr));
      ASSERT_NE(program, nullptr);
      FSavedCompiled = program->Compiled;
      program->Compiled = 45123.75;  // a distinct bit pattern in both halves
      std::memcpy(&FCompiledBits, &program->Compiled, sizeof FCompiledBits);
    }
    auto stack = std::make_unique<TVezavuStackList>();
    auto add = [&](DWORD thread, bool running, int32_t line, int32_t relative, const std::string& unit) {
      auto entry = new TVezavuStackEntry;
      entry->Kind = dkLineTables;
      entry->Module = program;
      entry->ThreadID = thread;
      entry->ThreadFlag = running;
      entry->Address = reinterpret_cast<uintptr_t>(&RowAddressAnchor);
      entry->UnitName = unit;
      entry->ClassName = "TForm1";
      entry->ProcedureName = std::string(100, 'p');
      entry->Line = line;
      entry->RelativeLine = relative;
      stack->Add(entry);
    };
    add(10, false, 123, 4, std::string(95, 'u'));
    add(10, false, 124, 5, "Second");
    add(20, true, 57, 0, "Worker");
    ProcessingState().StoredCallStack = std::move(stack);
    Options().SetStackFlags(0x10);
  }
  void TearDown() override {
    {
      TModulesLock lock;
      if (TVezavuModuleInfo* program = Modules().FindByHandle(GetModuleHandleA(nullptr)))
        program->Compiled = FSavedCompiled;
    }
    DialogPages::TearDown();
  }

  int ItemCount() { return static_cast<int>(SendMessageA(Content(), LVM_GETITEMCOUNT, 0, 0)); }

  // A double-click in the middle of the item's row.
  void DoubleClick(int item) {
    RECT bounds = {};
    bounds.left = LVIR_BOUNDS;
    ASSERT_TRUE(SendMessageA(Content(), LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&bounds)));
    const LPARAM point = MAKELPARAM(bounds.left + 60, (bounds.top + bounds.bottom) / 2);
    SendMessageA(Content(), WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    SendMessageA(Content(), WM_LBUTTONUP, 0, point);
  }

  double FSavedCompiled = 0;
  uint64_t FCompiledBits = 0;
};

TEST_F(CallStackPage, ActivatingADataRowSendsItsSourceLocation) {
  TSlotListener listener;
  ASSERT_TRUE(listener.Ready());
  SelectDialogTab(-1 - dpCallStack, Host);
  // Header, two rows, separator, header, one row.
  ASSERT_EQ(ItemCount(), 6) << "needs the list rows";
  Shot("pages_callstack");

  DoubleClick(1);
  std::vector<std::string> received = listener.Receive();
  SourceLocationMessage expected = MakeSourceLocation("exception_report_pages_tests.exe", std::string(89, 'u'),
                                                      "TForm1", std::string(89, 'p'), 123, 4, FCompiledBits);
  const std::string bytes(reinterpret_cast<const char*>(&expected), sizeof expected);
  for (int n = 0; n < 4; ++n) EXPECT_EQ(received[static_cast<size_t>(n)], bytes) << "slot " << n;
  const auto& message = *reinterpret_cast<const SourceLocationMessage*>(received[0].data());
  if (received[0].size() == sizeof message) {
    EXPECT_EQ(message.Line, 123);
    EXPECT_EQ(message.RelativeLine, 4);
    EXPECT_NE(message.DebugValue1 | message.DebugValue2, 0u) << "the row's address found its module";
  }
  if (sizeof(uintptr_t) == 8) {
    EXPECT_GT(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&RowAddressAnchor)), 0xFFFFFFFFull)
        << "the address needs all 16 digits";
  }

  // Without the relative-line option the row reads "57".
  DestroyDialogPage();
  Options().SetStackFlags(0);
  SelectDialogTab(-1 - dpCallStack, Host);
  ASSERT_EQ(ItemCount(), 6);
  DoubleClick(5);
  received = listener.Receive();
  expected = MakeSourceLocation("exception_report_pages_tests.exe", "Worker", "TForm1", std::string(89, 'p'), 57, -1,
                                FCompiledBits);
  EXPECT_EQ(received[0], std::string(reinterpret_cast<const char*>(&expected), sizeof expected));
  EXPECT_EQ(listener.Waiting(), 0);
}

TEST_F(CallStackPage, ActivatingAHeaderRowTogglesItsGroupAndSendsNothing) {
  TSlotListener listener;
  ASSERT_TRUE(listener.Ready());
  SelectDialogTab(-1 - dpCallStack, Host);
  ASSERT_EQ(ItemCount(), 6) << "needs the list rows";
  DoubleClick(0);
  EXPECT_EQ(ItemCount(), 4) << "the first group's two rows are hidden";
  DoubleClick(0);
  EXPECT_EQ(ItemCount(), 6);
  // Enter on the focused header activates it as well.
  LVITEMA state = {};
  state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
  state.state = LVIS_FOCUSED | LVIS_SELECTED;
  SendMessageA(Content(), LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
  SendMessageA(Content(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(ItemCount(), 4);
  EXPECT_EQ(listener.Waiting(), 0);
}

TEST_F(CallStackPage, TheComputerNameFormFailsSilently) {
  DialogState().MailslotServer.clear();
  const SourceLocationMessage message = MakeSourceLocation("Prog.exe", "Unit", "", "Proc", 1, -1, 0);
  EXPECT_NO_THROW(SendSourceLocation(message, ComputerName()));
  SelectDialogTab(-1 - dpCallStack, Host);
  if (ItemCount() == 6) {
    EXPECT_NO_THROW(DoubleClick(1));
  }
  EXPECT_TRUE(Watchdog.TakeDismissed().empty());
}

TEST_F(DialogPages, ModulesPageListsTheModules) {
  Options().SetLogFlags(0x30);
  size_t count = 0;
  {
    TModulesLock lock;
    Modules().Refresh();
    count = Modules().List().size();
  }
  ASSERT_GT(count, 0u);
  SelectDialogTab(-1 - dpModules, Host);
  EXPECT_EQ(SendMessageA(Content(), LVM_GETITEMCOUNT, 0, 0), static_cast<LRESULT>(count)) << "needs the list rows";
  Shot("pages_modules");
}

}  // namespace
