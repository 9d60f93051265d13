#pragma once
// Screenshots of the windows a person looks at, saved as PNG files to the
// build's artifacts folder for a person to look at after the run.
#include <windows.h>

#include <string>
#include <vector>

// The build's artifacts folder (made when missing), with a trailing "\".
std::string ArtifactsFolder();
// 24-bit RGB, no filter, one zlib stream.
void SavePng(const std::string& path, int width, int height, const std::vector<COLORREF>& pixels);
// What the screen shows of the window's client area, row by row from the
// top, also saved as artifacts/<name>.png.
std::vector<COLORREF> CaptureWindow(HWND window, const std::string& name, int& width, int& height);
// The same of the whole window, frame and caption included, read from the
// screen.
std::vector<COLORREF> CaptureWholeWindow(HWND window, const std::string& name, int& width, int& height);
