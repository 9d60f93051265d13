#include "DecoderLog.h"

#include <windows.h>

// Until the daily log is part of the library the text goes to the debugger.
void LogDecoderFailure(const std::string& text) {
  std::string line = text + "\r\n";
  OutputDebugStringA(line.c_str());
}
