#pragma once
// A text into a caller's buffer of size bytes, cut to fit, always ended
// with a zero.
#include <cstring>
#include <string>

namespace brx_test_module {

inline void CopyToBuffer(const std::string& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  const size_t length = text.size() < static_cast<size_t>(size) ? text.size() : static_cast<size_t>(size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

}  // namespace brx_test_module
