#include <windows.h>

#include "core/Errors.h"
#include "core/Streams.h"

namespace RevavaRez {

namespace {

DWORD ShareOf(uint16_t mode) {
  switch (mode & 0x00F0) {
    case fmShareExclusive:
      return 0;
    case fmShareDenyWrite:
      return FILE_SHARE_READ;
    case fmShareDenyRead:
      return FILE_SHARE_WRITE;
    case fmShareDenyNone:
      return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default:
      return 0;
  }
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : FFileName(fileName) {
  if ((mode & fmCreate) == fmCreate) {
    FHandle = CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, ShareOf(mode), nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FHandle == INVALID_HANDLE_VALUE) throw EFOpenError("Cannot create file \"" + fileName + "\"");
    return;
  }
  static const DWORD access[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE, GENERIC_READ};
  FHandle = CreateFileA(fileName.c_str(), access[mode & 3], ShareOf(mode), nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (FHandle == INVALID_HANDLE_VALUE) throw EFOpenError("Cannot open file \"" + fileName + "\"");
}

TFileStream::~TFileStream() { CloseHandle(FHandle); }

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  DWORD done = 0;
  DWORD want = count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(count);
  if (!ReadFile(FHandle, buffer, want, &done, nullptr)) return 0;
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  DWORD done = 0;
  DWORD want = count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(count);
  if (!WriteFile(FHandle, buffer, want, &done, nullptr)) return 0;
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER distance, position;
  distance.QuadPart = offset;
  DWORD method = origin == soBeginning ? FILE_BEGIN : origin == soCurrent ? FILE_CURRENT : FILE_END;
  if (!SetFilePointerEx(FHandle, distance, &position, method)) {
    distance.QuadPart = 0;
    if (!SetFilePointerEx(FHandle, distance, &position, FILE_CURRENT)) return 0;
  }
  return position.QuadPart;
}

void TFileStream::SetSize(int64_t size) {
  Seek(size, soBeginning);
  if (Position() != size || !SetEndOfFile(FHandle)) throw EWriteError("Stream write error");
}

}  // namespace RevavaRez
