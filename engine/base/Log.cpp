#include "base/Log.h"

#include <atomic>
#include <cstdio>
#include <memory>

#include "base/Exception.h"
#include "base/SystemText.h"
#include "base/WorkerThread.h"

namespace {

const char* const LogEventName = "Global\\Zephyrcastor Log Event";
constexpr DWORD LogEventAccess = EVENT_MODIFY_STATE | SYNCHRONIZE;  // 0x100002

// Creates the folder and every missing parent. Failures are left for the
// appends to report: a read-only program folder must not stop the engine.
void ForceDirectories(const std::string& folder) {
  for (size_t i = 1; i <= folder.size(); ++i) {
    if (i == folder.size() || folder[i] == '\\' || folder[i] == '/') {
      const std::string part = folder.substr(0, i);
      if (!part.empty() && part.back() != ':' && GetFileAttributesA(part.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryA(part.c_str(), nullptr);
    }
  }
}

std::string ModuleFileName(HMODULE module) {
  std::string name(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(module, &name[0], DWORD(name.size()));
    if (n == 0) return {};
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    if (name.size() >= 32768) return {};
    name.resize(name.size() * 2);
  }
}

}  // namespace

TLog::TLog(const std::string& Folder) {
  FEvent = OpenEventA(LogEventAccess, FALSE, LogEventName);
  if (!FEvent) {
    // Every user's processes share the event, so it gets a null DACL.
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, TRUE};
    FEvent = CreateEventA(&attributes, FALSE, TRUE, LogEventName);
    if (!FEvent) {
      const DWORD error = GetLastError();
      throw Exception(SystemErrorText(error));
    }
  }
  FFolder = Folder;
  if (!FFolder.empty() && (FFolder.back() == '\\' || FFolder.back() == '/')) FFolder.pop_back();
  FFolder += "\\Log";
  ForceDirectories(FFolder);

  const std::string exe = ModuleFileName(nullptr);
  const size_t slash = exe.find_last_of("\\/:");
  FHostName = slash == std::string::npos ? exe : exe.substr(slash + 1);
  char separator[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, sizeof separator) > 1)
    FTimeSeparator = separator[0];
}

TLog::~TLog() {
  if (FEvent) CloseHandle(FEvent);
}

void TLog::LocalTime(SYSTEMTIME& Now) { GetLocalTime(&Now); }

void TLog::DebugOutput(const std::string& Text) { OutputDebugStringA(Text.c_str()); }

std::string TLog::LastLine() {
  TCriticalSection::TScope scope(FLastLineLock);
  return FLastLine;
}

void TLog::AddLine(const std::string& Text) noexcept {
  // A time-out means the holder died inside its append: go ahead without the
  // event. Another writer is still kept out by the file's share mode, and the
  // SetEvent below puts the lock back into service.
  WaitForSingleObject(FEvent, EventWaitLimit);
  try {
    SYSTEMTIME now = {};
    LocalTime(now);
    char date[16];
    std::snprintf(date, sizeof date, "%04u-%02u-%02u", unsigned(now.wYear) % 10000u,
                  unsigned(now.wMonth) % 100u, unsigned(now.wDay) % 100u);
    const std::string name = FFolder + "\\" + date + ".log";
    const bool exists = GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
    TKernelHandle file(CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
      throw Exception(std::string(exists ? "Cannot open file \"" : "Cannot create file \"") + name + "\". " +
                      SysErrorMessage(GetLastError()));
    {
      TCriticalSection::TScope scope(FLastLineLock);
      FLastLine = Text;
    }
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(file.Get(), zero, nullptr, FILE_END))
      throw Exception("Cannot seek file \"" + name + "\". " + SysErrorMessage(GetLastError()));
    char time[16];
    const char s = FTimeSeparator;
    std::snprintf(time, sizeof time, "%02u%c%02u%c%02u", unsigned(now.wHour) % 100u, s,
                  unsigned(now.wMinute) % 100u, s, unsigned(now.wSecond) % 100u);
    const std::string line = FHostName + " ---> " + time + " " + Text + "\r\n";
    // One write per line: a reader never sees half of it.
    DWORD written = 0;
    if (!WriteFile(file.Get(), line.data(), DWORD(line.size()), &written, nullptr) || written != line.size())
      throw Exception("Cannot write file \"" + name + "\". " + SysErrorMessage(GetLastError()));
  } catch (const std::exception& e) {
    try {
      DebugOutput(std::string("ERROR: TLog.AddLine -> ") + e.what());
    } catch (...) {
    }
  } catch (...) {
  }
  SetEvent(FEvent);
}

namespace {

// Constant-initialised, so GlobalLog() answers nullptr even to code that runs
// before this unit's set-up or after its shut-down.
std::atomic<TLog*> GLog{nullptr};

struct TLogUnit {
  std::unique_ptr<TLog> Log;
  TLogUnit() {
    try {
      std::string exe = ModuleFileName(nullptr);
      const size_t slash = exe.find_last_of("\\/");
      Log = std::make_unique<TLog>(slash == std::string::npos ? std::string() : exe.substr(0, slash + 1));
      GLog = Log.get();
    } catch (const std::exception& e) {
      // Raising here would end the host process (a browser, say) while the
      // library loads; the engine runs on without a log instead.
      OutputDebugStringA((std::string("ERROR: TLog.Create -> ") + e.what()).c_str());
    } catch (...) {
    }
  }
  ~TLogUnit() { GLog = nullptr; }
};

TLogUnit GLogUnit;

}  // namespace

TLog* TGlobalLog::Instance() const noexcept { return GLog.load(); }

void TGlobalLog::AddLine(const std::string& Text) const noexcept {
  if (TLog* log = Instance()) log->AddLine(Text);
}

const TGlobalLog& GlobalLog() noexcept {
  // Stateless, so usable even outside the log's lifetime.
  static constexpr TGlobalLog access;
  return access;
}
