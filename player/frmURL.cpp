#include "frmURL.h"

#include "Resource.h"
#include "base/SystemText.h"

namespace {

// Pixel layout of the form: position and size of each part.
struct TPlace {
  int Id;
  int X, Y, Width, Height;
};
const TPlace Places[] = {
    {IDC_LABURL, 16, 15, 200, 16},
    {IDC_EDTURL, 16, 42, 401, 21},
    {IDOK, 135, 80, 75, 20},
    {IDCANCEL, 230, 80, 75, 20},
};

}  // namespace

bool TfrmURL::ShowModal(HWND Owner) {
  return DialogBoxParamW(FInstance, MAKEINTRESOURCEW(IDD_URL), Owner, DialogProc,
                         reinterpret_cast<LPARAM>(this)) == IDOK;
}

void TfrmURL::FormCreate(HWND Window) {
  FHandle = Window;
  // Client area 430 x 114, centred on the screen.
  RECT frame = {0, 0, 430, 114};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(Window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(Window, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(Window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER);
  for (const auto& place : Places)
    MoveWindow(GetDlgItem(Window, place.Id), place.X, place.Y, place.Width, place.Height, FALSE);
  if (!IsChineseSystem()) {
    SetWindowTextW(Window, L"Open URL");
    SetDlgItemTextW(Window, IDC_LABURL, L"Input URL:");
    SetDlgItemTextW(Window, IDOK, L"OK");
    SetDlgItemTextW(Window, IDCANCEL, L"Cancel");
  }
  SetDlgItemTextW(Window, IDC_EDTURL, FText.c_str());
}

void TfrmURL::KeepText() {
  HWND edit = GetDlgItem(FHandle, IDC_EDTURL);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  FText = text;
}

INT_PTR CALLBACK TfrmURL::DialogProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  auto* self = reinterpret_cast<TfrmURL*>(GetWindowLongPtrW(Window, DWLP_USER));
  switch (Message) {
    case WM_INITDIALOG:
      self = reinterpret_cast<TfrmURL*>(LParam);
      SetWindowLongPtrW(Window, DWLP_USER, LParam);
      self->FormCreate(Window);
      return TRUE;
    case WM_COMMAND:
      if (self && (LOWORD(WParam) == IDOK || LOWORD(WParam) == IDCANCEL)) {
        try {
          self->KeepText();
        } catch (...) {
          // No room for the typed text: the last one stays, and the
          // dialog still ends.
        }
        self->FHandle = nullptr;
        EndDialog(Window, LOWORD(WParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}
