// The owner-drawn list rows of a call-stack page against the list-view
// messages they cannot do without. Measured: a TListViewItems on a shown
// report-view list view with the call-stack columns is filled with 2,000
// rows in 20 thread groups, then each group is collapsed and expanded once.
// Baseline, in the same run: the same inserts (with their sub-items) and
// deletes at the same positions, sent straight to an identical list view
// with redrawing off. A second reference also switches redrawing off and
// on around each toggle, as every toggle must, which under Wine costs more
// than the walk itself. Takes a display.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "PumpUntil.h"
#include "dialog/ListViewItems.h"

using namespace RevavaRez;

namespace {

constexpr int kGroups = 20;
constexpr int kRowsPerGroup = 100;  // the separator and the header included
constexpr int kRounds = 5;

struct TColumn {
  const char* Title;
  int Width;
  int Format;
};
const TColumn kColumns[] = {{"Address", 89, LVCFMT_LEFT},  {"Module", 92, LVCFMT_LEFT},
                            {"Unit", 126, LVCFMT_LEFT},    {"Class", 126, LVCFMT_LEFT},
                            {"Procedure/Method", 200, LVCFMT_LEFT}, {"Line", 61, LVCFMT_RIGHT}};

struct TBenchRow {
  std::vector<std::string> Texts;
  std::string HeaderText;
  bool Header = false;
  int32_t Running = 0;
  int32_t Image = liNone;
};

// 20 groups of 100 rows: a separator before every group but the first, a
// header, and data rows up to the group's size.
std::vector<TBenchRow> CallStackRows() {
  std::vector<TBenchRow> rows;
  for (int group = 0; group < kGroups; ++group) {
    if (group > 0) rows.push_back(TBenchRow{{""}, "", false, 0, liNone});
    const std::string header = "Running Thread: ID=" + std::to_string(1000 + group) + "; Priority=0";
    rows.push_back(TBenchRow{{header}, header, true, group % 3 != 2, liNone});
    const int data = kRowsPerGroup - (group > 0 ? 2 : 1);
    for (int i = 0; i < data; ++i) {
      char address[16];
      std::snprintf(address, sizeof address, "%08X", 0x401000 + group * 0x10000 + i * 16);
      rows.push_back(TBenchRow{{address, "Brindolux.exe", "PlayerUnit", "TPlayerForm",
                                "HandleMessage" + std::to_string(i), std::to_string(100 + i)},
                               "", false, 0, i % 4});
    }
  }
  return rows;
}

// The control position of each group's header while all groups are open,
// and how many rows follow it up to the next separator.
struct TGroup {
  int Header;
  int Rows;
};
std::vector<TGroup> Groups(const std::vector<TBenchRow>& rows) {
  std::vector<TGroup> groups;
  for (int i = 0; i < static_cast<int>(rows.size()); ++i)
    if (rows[size_t(i)].Header) groups.push_back(TGroup{i, 0});
    else if (!groups.empty() && !rows[size_t(i)].Texts[0].empty()) ++groups.back().Rows;
  return groups;
}

TListViewItems* DrawingRows = nullptr;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DRAWITEM && DrawingRows) {
    try {
      return DrawingRows->DrawListItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
    } catch (...) {
      return TRUE;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A shown host with a call-stack list view; both ends of a round get one.
struct TListWindow {
  HWND Host = nullptr;
  HWND List = nullptr;
  TListWindow() {
    Host = CreateWindowExA(0, "TListViewBenchHost", "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 760, 420,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    List = CreateWindowExA(0, WC_LISTVIEWA, "",
                           WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED, 0, 0, 760, 420,
                           Host, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(List, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    int index = 0;
    for (const TColumn& c : kColumns) {
      std::string title = c.Title;
      LVCOLUMNA column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
      column.fmt = c.Format;
      column.cx = c.Width;
      column.pszText = &title[0];
      SendMessageA(List, LVM_INSERTCOLUMNA, index++, reinterpret_cast<LPARAM>(&column));
    }
    UpdateWindow(Host);
    PumpPending();
  }
  ~TListWindow() {
    DestroyWindow(List);
    DestroyWindow(Host);
    PumpPending();
  }
  TListWindow(const TListWindow&) = delete;
  TListWindow& operator=(const TListWindow&) = delete;
};

double MeasureRows(const std::vector<TBenchRow>& rows, const std::vector<TGroup>& groups, int& items) {
  TListWindow window;
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  {
    TListViewItems list(window.List);
    DrawingRows = &list;
    // As a page fills its list: under Wine every insert into a list that
    // redraws costs milliseconds.
    list.SetListRedraw(false);
    for (const TBenchRow& row : rows) list.AddRow(row.Texts, row.HeaderText, row.Header, row.Running, row.Image);
    list.SetListRedraw(true);
    for (const TGroup& group : groups) {
      const POINT inHeader{100, 0};
      list.ToggleGroup(group.Header, inHeader, false);
      list.ToggleGroup(group.Header, inHeader, false);
    }
    QueryPerformanceCounter(&end);
    items = static_cast<int>(SendMessageA(window.List, LVM_GETITEMCOUNT, 0, 0));
    DrawingRows = nullptr;
  }
  return Milliseconds(start, end);
}

void InsertStraight(HWND list, int position, const TBenchRow& row) {
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = position;
  item.pszText = const_cast<char*>(row.Texts[0].c_str());
  item.lParam = reinterpret_cast<LPARAM>(&row);
  const int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  for (size_t i = 1; i < row.Texts.size(); ++i) {
    LVITEMA sub{};
    sub.iSubItem = static_cast<int>(i);
    sub.pszText = const_cast<char*>(row.Texts[i].c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&sub));
  }
}

// switchPerToggle: the list is also switched off and on again around each
// collapse and each expansion, as every toggle of a group must do.
double MeasureStraight(const std::vector<TBenchRow>& rows, const std::vector<TGroup>& groups, bool switchPerToggle,
                       int& items) {
  TListWindow window;
  const HWND list = window.List;
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) InsertStraight(list, i, rows[size_t(i)]);
  auto toggleSwitch = [&] {
    if (!switchPerToggle) return;
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  };
  for (const TGroup& group : groups) {
    for (int i = 0; i < group.Rows; ++i) SendMessageA(list, LVM_DELETEITEM, group.Header + 1, 0);
    toggleSwitch();
    for (int i = 0; i < group.Rows; ++i)
      InsertStraight(list, group.Header + 1 + i, rows[size_t(group.Header + 1 + i)]);
    toggleSwitch();
  }
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  QueryPerformanceCounter(&end);
  items = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  return Milliseconds(start, end);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSA wc{};
  wc.lpfnWndProc = &HostProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TListViewBenchHost";
  RegisterClassA(&wc);

  const std::vector<TBenchRow> rows = CallStackRows();
  const std::vector<TGroup> groups = Groups(rows);
  std::vector<double> measured, straight, switched;
  int measuredItems = 0, straightItems = 0, switchedItems = 0;
  for (int round = 0; round < kRounds; ++round) {
    measured.push_back(MeasureRows(rows, groups, measuredItems));
    straight.push_back(MeasureStraight(rows, groups, false, straightItems));
    switched.push_back(MeasureStraight(rows, groups, true, switchedItems));
  }
  const int expected = static_cast<int>(rows.size());
  if (measuredItems != expected || straightItems != expected || switchedItems != expected) {
    std::printf("listview_bench: the lists end with %d, %d and %d items, not %d\n", measuredItems, straightItems,
                switchedItems, expected);
    return 1;
  }
  const double m = Median(measured), s = Median(straight), w = Median(switched);
  std::printf("list rows: %d rows in %d groups, each group collapsed and expanded once (median of %d rounds)\n",
              static_cast<int>(rows.size()), static_cast<int>(groups.size()), kRounds);
  std::printf("  TListViewItems on a shown list view: %.1f ms\n", m);
  std::printf("  straight list-view messages, redrawing off: %.1f ms\n", s);
  std::printf("  ratio: %.2f (target within 1.5)\n", s > 0 ? m / s : 0.0);
  std::printf("  straight, switched off and on around each of the %d toggles: %.1f ms\n",
              2 * static_cast<int>(groups.size()), w);
  std::printf("  ratio to that: %.2f\n", w > 0 ? m / w : 0.0);
  return 0;
}
