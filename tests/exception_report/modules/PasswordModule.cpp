// A plain library without the exception-reporting library that answers the
// password request of its debug data with the password a test sets. Built
// with both requests, with only the plain one, and with neither.
#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

char Answer[256] = "";
char LastSeen[256] = "";
LONG ExAsked = 0;
LONG PlainAsked = 0;

// The short string holds the current password on the way in.
[[maybe_unused]] void Reply(unsigned char* password, int32_t maxLength) {
  std::memcpy(LastSeen, password + 1, password[0]);
  LastSeen[password[0]] = '\0';
  size_t length = std::strlen(Answer);
  if (maxLength < 0) maxLength = 0;
  if (length > static_cast<size_t>(maxLength)) length = static_cast<size_t>(maxLength);
  password[0] = static_cast<unsigned char>(length);
  std::memcpy(password + 1, Answer, length);
}

}  // namespace

extern "C" {

__declspec(dllexport) void __stdcall TestPasswordSet(const char* password) {
  lstrcpynA(Answer, password, sizeof Answer);
  ExAsked = PlainAsked = 0;
  LastSeen[0] = '\0';
}

// How often each request was asked since the last set, and the password
// the last one was handed.
__declspec(dllexport) void __stdcall TestPasswordAsked(int32_t* ex, int32_t* plain, char* lastSeen, int32_t size) {
  *ex = ExAsked;
  *plain = PlainAsked;
  lstrcpynA(lastSeen, LastSeen, size);
}

#if defined(BRX_PASSWORD_EX)
struct TVezavuExceptionRecord;
__declspec(dllexport) void __stdcall RevavaRez_PasswordRequestEventEx(TVezavuExceptionRecord*, unsigned char* password,
                                                                      int32_t maxLength) {
  InterlockedIncrement(&ExAsked);
  Reply(password, maxLength);
}
#endif

#if defined(BRX_PASSWORD_PLAIN)
__declspec(dllexport) void __stdcall RevavaRez_PasswordRequestEvent(unsigned char* password, int32_t maxLength) {
  InterlockedIncrement(&PlainAsked);
  Reply(password, maxLength);
}
#endif

}  // extern "C"
