#include "Tolvane.h"

#include <cwchar>

TOLVANE_API const wchar_t* __stdcall IntToTime(int Seconds) {
  // One buffer per thread: "-" + up to 10 digits of hours + ":mm:ss" + NUL.
  thread_local wchar_t text[24];
  // 64 bits, so that the magnitude of INT_MIN is representable.
  long long value = Seconds;
  const bool negative = value < 0;
  if (negative) value = -value;
  const long long hours = value / 3600;
  const int minutes = static_cast<int>(value / 60 % 60);
  const int seconds = static_cast<int>(value % 60);
  std::swprintf(text, sizeof text / sizeof text[0], L"%s%02lld:%02d:%02d", negative ? L"-" : L"", hours,
                minutes, seconds);
  return text;
}
