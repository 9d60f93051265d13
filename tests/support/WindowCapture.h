#pragma once
// What a window shows, read back with GDI for pixel checks, and saved as a
// PNG screenshot for people.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The picture of Window, 0x00RRGGBB, top row first: its client area read
// from its own DC, or with WholeWindow its frame too. Width and Height
// receive its size; empty when there is nothing to read.
std::vector<uint32_t> CaptureWindow(HWND Window, bool WholeWindow, int& Width, int& Height);
// Saves the picture of Window (one of this process) as PNG under artifacts\.
bool SaveWindowScreenshot(HWND Window, const std::wstring& FileName);
