#include "source/UnicodeFileStream.h"

#include <algorithm>

#include "base/Exception.h"
#include "base/SystemText.h"

TUnicodeFileStream::TUnicodeFileStream(const std::wstring& fileName)
    : FHandle(CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (!FHandle) throw Exception(SystemErrorText(GetLastError()));
}

int64_t TUnicodeFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  // One ReadFile call, as a handle stream makes; at most what a DWORD holds.
  DWORD want = static_cast<DWORD>(std::min<int64_t>(count, 0x7FFFFFFF));
  DWORD got = 0;
  if (!ReadFile(FHandle.Get(), buffer, want, &got, nullptr)) return 0;
  return got;
}

int64_t TUnicodeFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER result;
  DWORD method = origin == soBeginning ? FILE_BEGIN : origin == soCurrent ? FILE_CURRENT : FILE_END;
  if (!SetFilePointerEx(FHandle.Get(), distance, &result, method)) return -1;
  return result.QuadPart;
}

int64_t TUnicodeFileStream::Size() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(FHandle.Get(), &size)) return -1;
  return size.QuadPart;
}
