#pragma once
// The open-URL dialog. Made once at start-up and reused, so the edit shows
// the text of its previous use.
#include <windows.h>

#include <string>

class TfrmURL {
 public:
  explicit TfrmURL(HINSTANCE Instance) : FInstance(Instance) {}

  // Shows the dialog modally; True when it was closed with OK. The text of
  // edtURL is kept either way.
  bool ShowModal(HWND Owner);
  // The text of edtURL as typed.
  const std::wstring& Text() const { return FText; }
  void SetText(const std::wstring& Value) { FText = Value; }
  // The dialog's window while it is shown.
  HWND Handle() const { return FHandle; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  void FormCreate(HWND Window);
  void KeepText();

  HINSTANCE FInstance;
  HWND FHandle = nullptr;
  std::wstring FText = L"http://";
};
