#include "DownloadToFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>

const char* const DownloadAgent = "Brindolux";

namespace {

struct TInternetCloser {
  void operator()(HINTERNET Handle) const { InternetCloseHandle(Handle); }
};
using TInternetHandle = std::unique_ptr<std::remove_pointer_t<HINTERNET>, TInternetCloser>;

struct TFileCloser {
  void operator()(HANDLE Handle) const { CloseHandle(Handle); }
};
using TFileHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, TFileCloser>;

constexpr DWORD ChunkSize = 1024;

bool HoldsDoctype(const char* Chunk, DWORD Length) {
  static const char tag[] = "<!DOCTYPE";
  const char* end = Chunk + Length;
  return std::search(Chunk, end, tag, tag + sizeof(tag) - 1) != end;
}

// Only HTTP answers have a status; for other schemes the query fails and
// the answer counts as the file.
bool IsErrorStatus(HINTERNET Url) {
  DWORD status = 0, size = sizeof(status), index = 0;
  if (!HttpQueryInfoA(Url, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index))
    return false;
  return status >= 400;
}

}  // namespace

bool DownloadToFile(HINTERNET Internet, const std::string& URL, const std::string& FileName,
                    uint64_t MaxBytes) {
  TInternetHandle url(InternetOpenUrlA(Internet, URL.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0));
  if (!url) return false;
  // An error page must not replace a good local copy of the last download.
  if (IsErrorStatus(url.get())) return false;
  HANDLE created =
      CreateFileA(FileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return false;
  TFileHandle file(created);
  char chunk[ChunkSize];
  uint64_t total = 0;
  for (;;) {
    std::memset(chunk, 0, sizeof(chunk));
    DWORD read = 0;
    if (!InternetReadFile(url.get(), chunk, ChunkSize, &read)) return false;
    if (read == 0) return true;
    if (read > ChunkSize) return false;
    if (HoldsDoctype(chunk, read)) return false;
    total += read;
    if (total > MaxBytes) {
      // A body without end would fill the disk: what came so far is no
      // part of any file worth keeping.
      file.reset();
      DeleteFileA(FileName.c_str());
      return false;
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), chunk, read, &written, nullptr) || written != read) return false;
  }
}
