// Brindolux.exe: the player program.
#include <ole2.h>
#include <windows.h>

#include "CommandLine.h"
#include "OleError.h"
#include "frmMain.h"
#include "frmURL.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // Hosting the control needs OLE on this thread.
  if (FAILED(OleInitialize(nullptr))) return 1;
  int exitCode = 0;
  {
    TfrmURL frmURL(instance);
    TfrmMain frmMain(instance, frmURL);
    try {
      frmMain.Create();
    } catch (const EOleError& error) {
      frmMain.ShowException(error.Message());
      exitCode = 1;
    }
    if (exitCode == 0) {
      // The window opens maximised whatever the starter asked for.
      (void)showCommand;
      frmMain.Show(SW_SHOWMAXIMIZED, MediaFromCommandLine(GetCommandLineW()));
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (frmMain.PreTranslateMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      exitCode = static_cast<int>(message.wParam);
    }
  }
  OleUninitialize();
  return exitCode;
}
