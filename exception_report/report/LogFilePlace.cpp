#include "report/LogFilePlace.h"

#include <algorithm>
#include <cstdio>

#include "core/Errors.h"
#include "core/Streams.h"
#include "core/VArev.h"

namespace RevavaRez {

TLogSaveHook LogSaveHook = nullptr;

namespace {

// The way of a log that cannot be replaced: the text from the file's start,
// the file then cut where it ends.
void WriteInPlace(const std::string& fileName, const std::string& text) {
  TFileStream file(fileName, (LogFileExists(fileName) ? fmOpenReadWrite : fmCreate) | fmShareDenyNone);
  file.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  file.SetSize(file.Position());
}

bool WriteWhole(HANDLE file, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  // On the disk before it takes the log's place, so that not even a lost
  // machine leaves a log with a hole.
  return FlushFileBuffers(file) != 0;
}

}  // namespace

std::string UsableLogFileName(const std::string& fileName, bool readOnly) {
  std::string name = fileName;
  // When no place is usable the name stays, and opening it reports why.
  FindUsableFile(name, /*moduleFolder*/ true, readOnly);
  return name;
}

bool LogFileExists(const std::string& fileName) {
  DWORD attributes = GetFileAttributesA(fileName.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void WriteLogFile(const std::string& fileName, const std::string& text) {
  // A log without a name is only filled and exported.
  if (fileName.empty()) throw EFOpenError("Cannot create a log without a name");
  // A name of this process's own: two programs saving one log at once do
  // not write into each other's file.
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, ".%lx.tmp", static_cast<unsigned long>(GetCurrentProcessId()));
  std::string temporary = fileName + suffix;
  HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // A folder where the log may be written but no file made (or a name
    // too long for the suffix).
    WriteInPlace(fileName, text);
    return;
  }
  try {
    bool written = WriteWhole(file, text);
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    // A write that fails here (a full disk) leaves the log as it was,
    // where writing in place would have left it half new.
    if (!written) throw EWriteError("Cannot write file \"" + temporary + "\"");
    if (LogSaveHook) LogSaveHook(temporary);
    if (!MoveFileExA(temporary.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      // Another program holds the log open without letting it go (the
      // library's own readers share reading and writing only): it is
      // written in place, as it always was.
      WriteInPlace(fileName, text);
      DeleteFileA(temporary.c_str());
    }
  } catch (...) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    DeleteFileA(temporary.c_str());
    throw;
  }
}

}  // namespace RevavaRez
