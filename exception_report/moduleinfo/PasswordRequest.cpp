#include "moduleinfo/PasswordRequest.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "core/FaultingThread.h"
#include "events/EventChain.h"
#include "events/EventSinks.h"

namespace RevavaRez {

namespace {

// The exception being reported; none outside the processing.
TVezavuExceptionRecord* CurrentRecord() { return CurrentExceptionRecord(); }

}  // namespace

void __stdcall LocalPasswordSinks(TVezavuExceptionRecord* record, unsigned char* password, int32_t maxLength) {
  if (password == nullptr) return;
  const int32_t limit = std::min(std::max(maxLength, int32_t(0)), kMaxPasswordLength);
  std::string text(reinterpret_cast<const char*>(password + 1), password[0]);
  DispatchPasswordRequest(record, text, limit);
  const size_t length = std::min(text.size(), static_cast<size_t>(limit));
  password[0] = static_cast<unsigned char>(length);
  std::memcpy(password + 1, text.data(), length);
}

namespace {

// Runs the question with the current password in a short string and takes
// back what it left there.
std::string AskWithShortString(const std::string& current, const std::function<void(unsigned char*)>& ask) {
  unsigned char buffer[kMaxPasswordLength + 1] = {};
  const size_t length = current.size() < static_cast<size_t>(kMaxPasswordLength) ? current.size()
                                                                                 : static_cast<size_t>(kMaxPasswordLength);
  buffer[0] = static_cast<unsigned char>(length);
  std::memcpy(buffer + 1, current.data(), length);
  RunInFaultingThread([&] { ask(buffer); });
  return std::string(reinterpret_cast<const char*>(buffer + 1), buffer[0]);
}

}  // namespace

TPasswordRequestEventEx LocalPasswordRequest = LocalPasswordSinks;

std::string RequestModulePassword(HMODULE module, const std::string& current) {
  if (module == nullptr) return current;
  if (auto ex = reinterpret_cast<TPasswordRequestEventEx>(
          reinterpret_cast<void*>(GetProcAddress(module, kPasswordRequestEventEx))))
    return AskWithShortString(current, [ex](unsigned char* p) { ex(CurrentRecord(), p, kMaxPasswordLength); });
  if (auto plain = reinterpret_cast<TPasswordRequestEvent>(
          reinterpret_cast<void*>(GetProcAddress(module, kPasswordRequestEvent))))
    return AskWithShortString(current, [plain](unsigned char* p) { plain(p, kMaxPasswordLength); });
  return current;
}

std::string RequestLocalPassword(const std::string& current) {
  TPasswordRequestEventEx handler = LocalPasswordRequest;
  if (handler == nullptr) return current;
  return AskWithShortString(current, [handler](unsigned char* p) { handler(CurrentRecord(), p, kMaxPasswordLength); });
}

}  // namespace RevavaRez
