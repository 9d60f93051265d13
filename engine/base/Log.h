#pragma once
// The daily log: one file per calendar day in the "Log" folder beside the host
// program, appended to by every process that carries the engine. A named
// event serialises the appends across processes, so lines never interleave.
#include <windows.h>

#include <string>

#include "base/ThreadList.h"

class TLog {
 public:
  // Longest wait for the cross-process event. A process killed in the middle
  // of an append never sets it again; past this limit the append goes ahead
  // and sets the event itself, which frees the log for everyone.
  static constexpr DWORD EventWaitLimit = 5000;

  // Opens or creates the event (raises when neither works) and creates
  // Folder + "\Log" with every missing parent; a folder that cannot be made
  // only shows later, as failed appends.
  explicit TLog(const std::string& Folder);
  virtual ~TLog();
  TLog(const TLog&) = delete;
  TLog& operator=(const TLog&) = delete;

  // Appends "<host exe> ---> hh:nn:ss <Text>" and CR LF to today's file.
  // Never raises: a failure goes to the debugger output and the line is lost.
  void AddLine(const std::string& Text) noexcept;

  std::string LastLine();
  const std::string& Folder() const { return FFolder; }

 protected:
  // The clock and the debugger output, replaceable so that the day change and
  // the failure path can be shown without waiting for midnight or a debugger.
  virtual void LocalTime(SYSTEMTIME& Now);
  virtual void DebugOutput(const std::string& Text);

 private:
  HANDLE FEvent = nullptr;
  std::string FFolder;
  std::string FHostName;
  char FTimeSeparator = ':';
  TCriticalSection FLastLineLock;
  std::string FLastLine;
};

// The process's log, made when the engine is loaded and freed when it is
// unloaded. Reach it through GlobalLog(): GlobalLog().AddLine(text) is safe
// at any time, and does nothing before the log exists, after it is freed, or
// when it could not be made.
class TGlobalLog {
 public:
  void AddLine(const std::string& Text) const noexcept;
  // The log itself, nullptr when absent.
  TLog* Instance() const noexcept;
};

const TGlobalLog& GlobalLog() noexcept;
