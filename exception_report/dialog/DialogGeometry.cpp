#include "dialog/DialogGeometry.h"

#include <windows.h>

#include "dialog/DialogState.h"
#include "report/ReportFiles.h"

namespace RevavaRez {

namespace {

constexpr char kSection[] = "Coordinates";
constexpr int kLargest = 32767;

}  // namespace

int IniNumber(const std::string& text, int defaultValue) {
  size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  if (at == text.size()) return defaultValue;
  long long value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return defaultValue;
    if (value <= kLargest) value = value * 10 + (text[at] - '0');
  }
  if (negative) return 0;
  return value > kLargest ? kLargest : static_cast<int>(value);
}

int ReadCoordinate(const std::string& key, int defaultValue) {
  return IniNumber(IniRead(kSettingsFileName, kSection, key, std::string()), defaultValue);
}

void WriteCoordinate(const std::string& key, int value) {
  IniWrite(kSettingsFileName, kSection, key, std::to_string(value));
}

void LoadDialogGeometry() {
  TDialogState& state = DialogState();
  TDialogGeometry& g = state.Geometry;
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  g.Width = ReadCoordinate("Width", 745);
  g.Height = ReadCoordinate("Height", 468);
  g.Left = ReadCoordinate("Left", (screenWidth - g.Width) / 2);
  g.Top = ReadCoordinate("Top", (screenHeight - g.Height - state.BottomAreaHeight) / 2);
  g.ShowState = ReadCoordinate("WindowsState", 1);
  // The dialog writes no other state, and a hidden modal dialog could not be
  // closed.
  if (g.ShowState != 1 && g.ShowState != 3 && g.ShowState != 6) g.ShowState = 1;
  if (g.Top + g.Height > screenHeight) g.Top = screenHeight - g.Height - state.BottomAreaHeight;
  if (g.Left + g.Width > screenWidth) g.Left = screenWidth - g.Width;
  if (g.Top < 0) g.Top = 0;
  if (g.Left < 0) g.Left = 0;
  g.WidthRecorded = false;
}

void SaveDialogGeometry() {
  const TDialogGeometry& g = DialogState().Geometry;
  if (!g.WidthRecorded) return;
  if (g.ShowState == 1) {
    WriteCoordinate("Width", g.Width);
    WriteCoordinate("Height", g.Height);
    WriteCoordinate("Left", g.Left);
    WriteCoordinate("Top", g.Top);
  }
  WriteCoordinate("WindowsState", g.ShowState);
}

}  // namespace RevavaRez
