#pragma once
// The request for the steps that reproduce an error, shown after the
// exception dialog; what the user types goes into the report.
#include <windows.h>

#include <string>
#include <vector>

namespace RevavaRez {

// Where the request dialog puts its prompt, edit and button, in client
// pixels, and the window height it ends with.
struct TRequestLayout {
  RECT Prompt = {0, 0, 0, 0};
  RECT Edit = {0, 0, 0, 0};
  RECT Ok = {0, 0, 0, 0};
  int WindowHeight = 0;
};

// The prompt's height: each line adds one line height per started inner
// width of its text width (an empty line is measured as a blank).
int RequestPromptHeight(const std::vector<int>& lineWidths, int lineHeight, int innerWidth);
// From the window's size after its caption adjustment and the prompt's
// height.
TRequestLayout RequestLayoutFor(int windowWidth, int windowHeight, int promptHeight);

// Whether the request is to be asked, from the options and the state given.
bool ReproduceRequestWanted(bool guiAllowed);
// Shows the request when ReproduceRequestWanted(IsGUIAllowed()) holds.
void ShowReproduceRequest();
// The request dialog itself, whatever the conditions; false when it could
// not be made.
bool RunReproduceRequest();

// The own look of the small dialogs (DialogFlags bits 6 and 7), as the
// exception dialog sets it up; returns the window height grown by the
// caption height less 18 pixels, which the dialog then takes.
int SetUpSmallDialogLook(HWND dialog);

INT_PTR CALLBACK RequestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Adds a captioned item of the kind to the report texts, right after the
// part the report record shows, and extends that part over it.
void AppendReproduceText(int kind, const std::string& caption, const std::string& text);

}  // namespace RevavaRez
