#include "dialog/RequestDialog.h"

#include <algorithm>
#include <stdexcept>

#include "core/StringList.h"
#include "core/VArevText.h"
#include "dialog/DialogFonts.h"
#include "dialog/DialogResources.h"
#include "dialog/DialogState.h"
#include "dialog/DialogTimers.h"
#include "dialog/OwnFrame.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessingState.h"
#include "report/LogItem.h"
#include "report/ReportFiles.h"
#include "web/WebHost.h"

namespace RevavaRez {

namespace {

constexpr int kIdPrompt = 100;
constexpr int kIdSteps = 101;
constexpr int kTextCaption = 81;
constexpr int kTextPrompt = 82;
constexpr int kTextButton = 83;
// The kind of log item the steps are added as.
constexpr int kStepsItemKind = 7;
// The edit's text is read whole; a user pasting more than this gets it cut.
constexpr int kMaxStepsLength = 1 << 20;

const TVezavuModuleOptionsEx& Options() {
  const TLibraryState& library = LibraryState();
  if (!library.Options) throw std::logic_error("The request dialog has no options.");
  return *library.Options;
}

const std::string& Text(int index) { return Options().TextAt(index); }

void SetFont(HWND dialog, int id, HFONT font) {
  if (font) SendMessageA(GetDlgItem(dialog, id), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void Place(HWND dialog, int id, const RECT& rect) {
  MoveWindow(GetDlgItem(dialog, id), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

int MeasurePrompt(HWND dialog, const std::string& prompt, int innerWidth) {
  HDC dc = GetDC(dialog);
  if (!dc) return 0;
  HFONT font = DialogState().Fonts.Normal;
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  std::vector<int> widths;
  int lineHeight = 0;
  TStringList lines;
  lines.SetText(prompt);
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string measured = lines[i].empty() ? std::string(" ") : lines[i];
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc, measured.c_str(), static_cast<int>(measured.size()), &size);
    widths.push_back(size.cx);
    lineHeight = std::max<int>(lineHeight, size.cy);
  }
  if (old) SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  return RequestPromptHeight(widths, lineHeight, innerWidth);
}

}  // namespace

int SetUpSmallDialogLook(HWND dialog) {
  const TDialogState& state = DialogState();
  SetUpDialogLook(dialog, Options());
  RECT window = {0, 0, 0, 0};
  GetWindowRect(dialog, &window);
  const int height = window.bottom - window.top + state.CaptionMetric - 18;
  SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return height;
}

namespace {

void InitRequest(HWND dialog) {
  TDialogState& state = DialogState();
  const int height = SetUpSmallDialogLook(dialog);
  RECT window = {0, 0, 0, 0};
  GetWindowRect(dialog, &window);
  const int width = window.right - window.left;
  CreateDialogFonts(dialog);
  SetWindowTextA(dialog, Text(kTextCaption).c_str());
  SetDlgItemTextA(dialog, kIdPrompt, Text(kTextPrompt).c_str());
  SetDlgItemTextA(dialog, kIdOk, Text(kTextButton).c_str());
  SetFont(dialog, kIdPrompt, state.Fonts.Normal);
  SetFont(dialog, kIdOk, state.Fonts.Normal);
  SetFont(dialog, kIdSteps, state.Fonts.Fixed);
  SendDlgItemMessageA(dialog, kIdSteps, EM_LIMITTEXT, kMaxStepsLength, 0);

  const TRequestLayout layout = RequestLayoutFor(width, height, MeasurePrompt(dialog, Text(kTextPrompt), width - 27));
  SetWindowPos(dialog, nullptr, 0, 0, width, layout.WindowHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Place(dialog, kIdPrompt, layout.Prompt);
  Place(dialog, kIdSteps, layout.Edit);
  Place(dialog, kIdOk, layout.Ok);
  StartAutoCloseTimer(dialog);
  StartKeepInFrontTimer(dialog);
}

// OK, the close box and the auto-close all keep what was typed.
void EndRequest(HWND dialog) {
  const int length = GetWindowTextLengthA(GetDlgItem(dialog, kIdSteps));
  std::string steps;
  if (length > 0) {
    steps.resize(static_cast<size_t>(std::min(length, kMaxStepsLength)) + 1);
    const int got = GetDlgItemTextA(dialog, kIdSteps, &steps[0], static_cast<int>(steps.size()));
    steps.resize(static_cast<size_t>(std::max(got, 0)));
  }
  steps = Trim(steps);
  if (!steps.empty()) AppendReproduceText(kStepsItemKind, Text(kTextCaption), steps);
  EndDialog(dialog, kIdOk);
}

INT_PTR DispatchRequest(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  TDialogState& state = DialogState();
  if (message == WM_INITDIALOG) {
    InitRequest(dialog);
    return TRUE;
  }
  if (IsUserActivity(message) || message == WM_COMMAND) ResetAutoCloseCount();
  if (state.OwnLook && HandleOwnFrameMessage(dialog, message, wParam, Text(kTextCaption))) return TRUE;
  switch (message) {
    case WM_PAINT:
      state.DialogPainted = true;
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kIdOk || LOWORD(wParam) == IDCANCEL) {
        EndRequest(dialog);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndRequest(dialog);
      return TRUE;
    case WM_TIMER:
      return HandleDialogTimer(dialog, wParam) ? TRUE : FALSE;
    case WM_DESTROY:
      StopAutoCloseTimer(dialog);
      StopKeepInFrontTimer(dialog);
      FreeDialogFonts();
      return TRUE;
    default:
      (void)lParam;
      return FALSE;
  }
}

}  // namespace

int RequestPromptHeight(const std::vector<int>& lineWidths, int lineHeight, int innerWidth) {
  if (innerWidth <= 0) innerWidth = 1;
  int height = 0;
  for (int width : lineWidths) {
    const int started = width <= 0 ? 1 : (width + innerWidth - 1) / innerWidth;
    height += started * lineHeight;
  }
  return height;
}

TRequestLayout RequestLayoutFor(int windowWidth, int windowHeight, int promptHeight) {
  TRequestLayout layout;
  const int inner = windowWidth - 27;
  layout.WindowHeight = windowHeight + promptHeight - 10;
  const int editHeight = layout.WindowHeight - promptHeight - 83;
  layout.Prompt = {10, 10, 10 + inner, 10 + promptHeight};
  layout.Edit = {10, promptHeight + 14, 10 + inner, promptHeight + 14 + editHeight};
  const int okLeft = inner - 65;
  const int okTop = promptHeight + editHeight + 20;
  layout.Ok = {okLeft, okTop, okLeft + 75, okTop + 23};
  return layout;
}

bool ReproduceRequestWanted(bool guiAllowed) {
  const TVezavuModuleOptionsEx& options = Options();
  return (options.LogFlags() & 0x02) != 0 && guiAllowed && !DuplicateFound &&
         (ProcessingState().SendChecked || options.SaveLog());
}

void ShowReproduceRequest() {
  if (!LibraryState().Options) return;
  if (ReproduceRequestWanted(IsGUIAllowed())) RunReproduceRequest();
}

bool RunReproduceRequest() {
  TDialogState& state = DialogState();
  TakeDialogFailure();
  state.DialogPainted = false;
  const INT_PTR result = DialogBoxParamA(DialogResourceModule(), "RR_REQUEST", nullptr, RequestDialogProc, 0);
  if (std::exception_ptr failure = TakeDialogFailure()) std::rethrow_exception(failure);
  return result != 0 && result != -1;
}

INT_PTR CALLBACK RequestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return DispatchRequest(dialog, message, wParam, lParam);
  } catch (...) {
    KeepDialogFailure(std::current_exception());
    EndDialog(dialog, kIdOk);
    return TRUE;
  }
}

void AppendReproduceText(int kind, const std::string& caption, const std::string& text) {
  TProcessingState& state = ProcessingState();
  TLogItem item(kind);
  item.AddSection(caption);
  item.AddItem(std::string(), text);
  const std::string inserted = item.GetText() + "\r\n";
  // The shown part ends three characters before what follows it.
  const size_t after = size_t(state.Record.ReportLength) + 3;
  const bool sameText = state.TextToSend == state.ReportText;
  state.ReportText.insert(std::min(after, state.ReportText.size()), inserted);
  if (sameText)
    state.TextToSend = state.ReportText;
  else
    state.TextToSend.insert(std::min(after, state.TextToSend.size()), inserted);
  state.Record.ReportText = state.ReportText.c_str();
  state.Record.ReportLength = static_cast<uint32_t>(
      std::min<size_t>(size_t(state.Record.ReportLength) + inserted.size(), state.ReportText.size()));
}

}  // namespace RevavaRez
