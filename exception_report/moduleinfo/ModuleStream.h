#pragma once
// A read stream laid over memory it does not own (a module image, a loaded
// resource). The memory may end anywhere, so reads that must not fault go
// through ReadChecked, which asks the system first.
#include <cstddef>
#include <cstdint>

#include "core/Streams.h"

namespace RevavaRez {

class THModuleStream : public TStream {
 public:
  // The stream claims 0x7FFFFFFF bytes from base; what is really there is
  // only known page by page.
  explicit THModuleStream(const void* base);
  ~THModuleStream() override = default;  // detaches: the memory stays

  // Unchecked, like any memory stream; callers that do not trust the
  // position use ReadChecked.
  int64_t Read(void* buffer, int64_t count) override;
  // Refused: the memory is not ours.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return kSize; }

  // Reads only when all count bytes at the position are readable; answers
  // whether exactly count bytes were read (the position moves only then).
  bool ReadChecked(void* buffer, size_t count);
  const uint8_t* Base() const { return FBase; }

  static constexpr int64_t kSize = 0x7FFFFFFF;

 private:
  const uint8_t* FBase;
  int64_t FPosition = 0;
};

}  // namespace RevavaRez
