#pragma once
// A read-only stream over a local file opened by its wide name.
#include <windows.h>

#include <string>

#include "base/Stream.h"
#include "base/WorkerThread.h"

class TUnicodeFileStream : public TStream {
 public:
  // Opens an existing file for reading, sharing reading with others; raises
  // the system's text for the last error when it cannot.
  explicit TUnicodeFileStream(const std::wstring& fileName);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;

 private:
  TKernelHandle FHandle;
};
