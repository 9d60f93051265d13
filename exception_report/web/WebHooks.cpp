#include "web/WebHooks.h"

#include <atomic>
#include <cstring>

#include "core/VArev.h"
#include "hooking/HookEngine.h"
#include "interception/ModuleRoutines.h"
#include "report/ReportFiles.h"
#include "web/ErrorPage.h"
#include "web/WebHost.h"

namespace RevavaRez {

namespace {

using TWriteFile = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using TEntry = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
using TWriteClient = BOOL(WINAPI*)(HCONN, LPVOID, LPDWORD, DWORD);

TWriteFile OriginalWriteFile = nullptr;
std::atomic<TEntry> OriginalEntry{nullptr};
std::atomic<TWriteClient> SavedWriteClient{nullptr};

// A page that cannot be kept is simply not there later: the write itself
// must go on.
void KeepPage(std::string bytes) noexcept {
  try {
    LastHtmlPage = std::move(bytes);
  } catch (...) {
  }
}

}  // namespace

std::string ClientBytes(const void* buffer, DWORD count) {
  if (buffer == nullptr) return std::string();
  // A client buffer carries no terminating zero: the count bounds the search.
  const void* zero = std::memchr(buffer, 0, count);
  const size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - static_cast<const char*>(buffer))
                             : static_cast<size_t>(count);
  return std::string(static_cast<const char*>(buffer), length);
}

BOOL WINAPI WriteFileHook(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                          LPOVERLAPPED overlapped) {
  // The handle first: it is the cheap test, and most writes go elsewhere.
  if (file != nullptr && file == GetStdHandle(STD_OUTPUT_HANDLE) && buffer != nullptr && IsCGIHost()) {
    try {
      KeepPage(std::string(static_cast<const char*>(buffer), bytesToWrite));
    } catch (...) {
    }
  }
  const TWriteFile original = KernelRoutine(OriginalWriteFile, "WriteFile");
  if (original == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return original(file, buffer, bytesToWrite, bytesWritten, overlapped);
}

void InstallWriteFileHook(const std::vector<std::string>& modules) {
  void* found = nullptr;
  // A module that does not import the routine is left as it is.
  HookImportedProcedure(modules, "kernel32.dll", true, found, reinterpret_cast<void*>(&WriteFileHook), "WriteFile");
  if (found != nullptr) OriginalWriteFile = reinterpret_cast<TWriteFile>(found);
}

BOOL WINAPI WriteClientHook(HCONN connection, LPVOID buffer, LPDWORD bytes, DWORD reserved) {
  if (!ISAPIClientWriting && bytes != nullptr) {
    try {
      KeepPage(ClientBytes(buffer, *bytes));
    } catch (...) {
    }
  }
  const TWriteClient saved = SavedWriteClient.load();
  if (saved == nullptr) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  return saved(connection, buffer, bytes, reserved);
}

DWORD WINAPI HttpExtensionProcHook(EXTENSION_CONTROL_BLOCK* block) {
  SetExtensionControlBlock(block);
  // A block that comes back through the entry already carries the
  // replacement; saving that would make it call itself.
  if (block != nullptr && block->WriteClient != nullptr && block->WriteClient != &WriteClientHook) {
    SavedWriteClient = block->WriteClient;
    block->WriteClient = &WriteClientHook;
  }
  const TEntry original = OriginalEntry.load();
  return original ? original(block) : DWORD(HSE_STATUS_ERROR);
}

bool InstallHttpExtensionProcHook() {
  void* entry = reinterpret_cast<void*>(GetProcAddress(ThisModule(), "HttpExtensionProc"));
  if (entry == nullptr) return false;
  OriginalEntry = reinterpret_cast<TEntry>(
      HookProcedure(entry, reinterpret_cast<void*>(&HttpExtensionProcHook), "HttpExtensionProc"));
  return true;
}

}  // namespace RevavaRez
