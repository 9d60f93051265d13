#pragma once
// What the screen shows of a window, for tests of windows a person looks
// at: the pixels, saved as a PNG in the build's artifacts folder.
#include <windows.h>

#include <string>
#include <vector>

// 24-bit RGB, no filter, one zlib stream.
void SavePng(const std::string& path, int width, int height, const std::vector<COLORREF>& pixels);
// The build's artifacts folder (created when missing), with a trailing "\".
std::string ArtifactsFolder();
// Redraws the window, captures its client area from the screen and saves
// it as artifacts/<name>.png; answers the pixels, row by row.
std::vector<COLORREF> ScreenshotWindow(HWND window, const std::string& name, int& width, int& height);
