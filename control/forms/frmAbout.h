#pragma once
// The about box: the product's name and the file version of the module this
// code runs in (the control library's own, not its host program's).
//
// Made once from the library's dialog template, owned by the control's
// top-level window, and shown modally the way the class library does it:
// the owner is disabled while the box is up and a message loop of its own
// runs until the box is closed, which only hides it. Should the owner go
// while the box is up, the box goes with it and the loop ends; the next
// showing makes the window again.
#include <windows.h>

#include "forms/VersionInfoResource.h"

class TfrmAbout {
 public:
  static constexpr int ClientWidth = 323;
  static constexpr int ClientHeight = 126;

  TfrmAbout() = default;
  ~TfrmAbout();
  TfrmAbout(const TfrmAbout&) = delete;
  TfrmAbout& operator=(const TfrmAbout&) = delete;

  // The box's window once made, else null.
  HWND Handle() const { return FHandle; }
  bool Visible() const { return FHandle && IsWindowVisible(FHandle); }
  const TVersionInfoResource& vi() const { return Fvi; }

  // Shows the box owned by Owner and returns once it is closed (or gone
  // with its owner). Nothing happens while it is already shown.
  void ShowModal(HWND Owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  INT_PTR HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam);
  void Create(HWND Owner);
  void FormCreate();
  void FormShow();
  void btnOKClick();
  void Close();
  void CentreOnScreen();

  HWND FHandle = nullptr;
  HWND Label1 = nullptr;
  HWND labVersion = nullptr;
  HWND btnOK = nullptr;
  HFONT FLabel1Font = nullptr;
  HFONT FVersionFont = nullptr;
  TVersionInfoResource Fvi;
  bool FModal = false;
  bool FCloseRequested = false;
};
