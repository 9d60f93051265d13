#include "core/VArev.h"

#include <cmath>

#include "core/Errors.h"
#include "core/ExceptionObjects.h"
#include "core/VArevText.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace RevavaRez {

HMODULE ThisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

TInternalErrorHook InternalErrorHook = nullptr;

// A name no real program carries, so that only a test host copied under it
// counts as the development environment.
const char* const IDEHostFileName = "RRZ_DEVENV_HOST.EXE";

namespace {

bool IDEHostFlag = false;
int VArevCounter = 0;

std::string MainModuleFileName() {
  char name[MAX_PATH + 1];
  DWORD length = GetModuleFileNameA(nullptr, name, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return std::string(name, length);
}

void InitVArev() { IDEHostFlag = IsIDEHostName(MainModuleFileName()); }
void DoneVArev() {}

}  // namespace

bool IsIDEHostName(const std::string& mainModuleFileName) {
  return UpperCase(ExtractFileName(mainModuleFileName)) == IDEHostFileName;
}

bool IsIDEHost() { return IDEHostFlag; }

int RoundedZoneHours(TDateTime local, TDateTime utc) {
  // Whole minutes first, so that a half-hour zone rounds from exactly .5.
  long minutes = std::lround((local - utc) * 1440.0);
  return static_cast<int>(std::lround(minutes / 60.0));
}

int TimeZoneHours() {
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  // One instant converted, so that the two readings cannot straddle a tick.
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return 0;
  auto date = [](const SYSTEMTIME& t) {
    return EncodeDateTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  };
  return RoundedZoneHours(date(local), date(utc));
}

void RunGuarded(void (*procedure)(), const char* label) {
  try {
    procedure();
  } catch (...) {
    if (InternalErrorHook) {
      InternalErrorHook(std::string(label) +
                        " (Address: " + AddressText(reinterpret_cast<uintptr_t>(procedure)) + ")");
      throw EAbort();
    }
    TCaughtException caught = CurrentException();
    if (!caught.IsException) throw Exception("General internal error.");
    throw Exception("Critical error at: \"" + std::string(label) + "\"\r\nError: \"" + caught.Message +
                    "\".");
  }
}

bool RunGuardedAtEntry(void (*procedure)(), const char* label) {
  try {
    RunGuarded(procedure, label);
    return true;
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    OutputDebugStringA(e.what());
  } catch (...) {
    OutputDebugStringA("General internal error.");
  }
  return false;
}

// Set-up decrements the counter and runs only from 0; shut-down increments
// it and runs only from -1, so nested or repeated entries do nothing.
void VArevInit() {
  if (VArevCounter-- == 0) RunGuarded(InitVArev, "VArev.Init");
}

void VArevDone() {
  if (VArevCounter++ == -1) RunGuarded(DoneVArev, "VArev.Done");
}

}  // namespace RevavaRez
