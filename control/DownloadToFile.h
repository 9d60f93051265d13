#pragma once
// The one routine that fetches a URL into a local file: thumbnails and their
// index, and channel files on a web server.
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

// The agent text of the control's own WinInet root handles.
extern const char* const DownloadAgent;

// True when the whole resource was written to FileName, which is created
// anew. Internet is a root handle the caller opened and closes. Always asks
// the server, never the cache. Fails on an HTTP status of 400 or more
// (before FileName is touched) and on a chunk holding "<!DOCTYPE", where
// a server answered with a page instead of the file; a file that was
// started stays on disk then. A resource longer than MaxBytes, which the
// caller picks for what it fetches, is no such file either: the download
// stops there and removes FileName.
bool DownloadToFile(HINTERNET Internet, const std::string& URL, const std::string& FileName,
                    uint64_t MaxBytes);
