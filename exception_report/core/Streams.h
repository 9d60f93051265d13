#pragma once
// The library's byte streams: the options stream, the module block, report
// and log files. Byte-level only, so the options stream stays free of the
// platform headers.
#include <cstdint>
#include <string>
#include <vector>

namespace RevavaRez {

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;
  // Up to count bytes; answers how many were moved (0 at the end or for a
  // count below 1).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Answers the new position; a position before the start is refused and
  // leaves the position as it was.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t position) { Seek(position, soBeginning); }
  // Bytes from the position to the end, never negative.
  int64_t Remaining();

  // Exactly count bytes, or EReadError / EWriteError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
};

class TMemoryStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }

  // Grows with zeros or cuts; the position stays unless it is past the end.
  void SetSize(int64_t size);
  void Clear();
  uint8_t* Memory() { return FData.data(); }
  const uint8_t* Memory() const { return FData.data(); }

 private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

// Open and share modes of a file stream.
enum : uint16_t {
  fmCreate = 0xFF00,
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
};

class TFileStream : public TStream {
 public:
  // fmCreate creates or empties the file (exclusively unless a share mode is
  // added); otherwise an open mode with a share mode. EFOpenError on failure.
  TFileStream(const std::string& fileName, uint16_t mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // Cuts or extends the file at size; EWriteError on failure.
  void SetSize(int64_t size);
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  void* FHandle;
};

}  // namespace RevavaRez
