#pragma once
// What the player's window tests share: paths of the build's files, test
// recordings, registration of the control, the program's stored list, and
// screenshots for people.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A build path (a Unix path under Wine) as a Windows path.
std::wstring WindowsPath(const std::string& BuildPath);
// A fresh folder for this test program's files, with a space in its name.
std::wstring TestFolder();
// Writes a recording of the given length with a key frame every
// KeyInterval ms (64 x 48 pixels) and answers its path.
std::wstring WriteRecording(const std::wstring& Name, uint32_t DurationMs, uint32_t KeyInterval);
// Registers Brindolux.ocx of this build through its own export.
bool RegisterControl();
// Writes the demo recording with the demo tool and answers its path, or "".
std::wstring MakeDemoRecording();
// The program's recent-files key under HKEY_LOCAL_MACHINE.
extern const wchar_t* const ProgramKey;
// Value F0.. of the stored list, "" when missing.
std::wstring StoredRecentFile(int Index);
void DeleteStoredRecentFiles();
// The picture of Window, 0x00RRGGBB, top row first: its client area read
// from its own DC, or with WholeWindow its frame too. Width and Height
// receive its size; empty when there is nothing to read.
std::vector<uint32_t> CaptureWindow(HWND Window, bool WholeWindow, int& Width, int& Height);
// What the screen shows in Area (screen coordinates), windows of any
// process included, in the same form.
std::vector<uint32_t> CaptureScreen(const RECT& Area, int& Width, int& Height);
// Saves the picture of Window (one of this process), or of the whole
// screen, as PNG under artifacts\.
bool SaveWindowScreenshot(HWND Window, const std::wstring& FileName);
bool SaveScreenScreenshot(const std::wstring& FileName);
