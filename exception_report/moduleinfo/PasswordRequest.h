#pragma once
// Asking a module for the password of its debug data: through the module's
// own exports, and again through this module's handlers when the module's
// answer does not check.
#include <windows.h>

#include <cstdint>
#include <string>

namespace RevavaRez {

struct TVezavuExceptionRecord;

// The password travels as a short string of 256 bytes: a length byte and up
// to 255 characters, holding the current password on the way in.
constexpr int32_t kMaxPasswordLength = 255;

constexpr char kPasswordRequestEventEx[] = "RevavaRez_PasswordRequestEventEx";
constexpr char kPasswordRequestEvent[] = "RevavaRez_PasswordRequestEvent";

using TPasswordRequestEventEx = void(__stdcall*)(TVezavuExceptionRecord* record, unsigned char* password,
                                                 int32_t maxLength);
using TPasswordRequestEvent = void(__stdcall*)(unsigned char* password, int32_t maxLength);

// This module's own password-request handlers, asked when another module's
// answer does not check: LocalPasswordSinks unless replaced.
extern TPasswordRequestEventEx LocalPasswordRequest;

// This module's password sinks in the short-string form: the password is
// taken in whole, and at most maxLength characters come back (a negative
// maximum counts as 0, one above 255 as 255), whatever the sinks left.
void __stdcall LocalPasswordSinks(TVezavuExceptionRecord* record, unsigned char* password, int32_t maxLength);

// The module's answer through "RevavaRez_PasswordRequestEventEx", else
// "RevavaRez_PasswordRequestEvent", on the faulting thread; the current
// password when the module exports neither.
std::string RequestModulePassword(HMODULE module, const std::string& current);
// The answer of this module's handlers; the current password without any.
std::string RequestLocalPassword(const std::string& current);

}  // namespace RevavaRez
