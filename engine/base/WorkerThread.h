#pragma once
// The small thread base every engine thread is built on: a Win32 thread with
// a thread message queue, created suspended and resumed only once the whole
// object exists, so the body never runs against a half-built object.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

// Owns one kernel handle (thread, event, file); closes it once.
class TKernelHandle {
 public:
  TKernelHandle() = default;
  explicit TKernelHandle(HANDLE handle) : FHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~TKernelHandle() { Close(); }
  TKernelHandle(const TKernelHandle&) = delete;
  TKernelHandle& operator=(const TKernelHandle&) = delete;
  TKernelHandle(TKernelHandle&& other) noexcept : FHandle(other.FHandle) { other.FHandle = nullptr; }
  TKernelHandle& operator=(TKernelHandle&& other) noexcept {
    if (this != &other) {
      Close();
      FHandle = other.FHandle;
      other.FHandle = nullptr;
    }
    return *this;
  }
  HANDLE Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != nullptr; }
  void Close() {
    if (FHandle) CloseHandle(FHandle);
    FHandle = nullptr;
  }

 private:
  HANDLE FHandle = nullptr;
};

class TWorkerThread {
 public:
  TWorkerThread(const TWorkerThread&) = delete;
  TWorkerThread& operator=(const TWorkerThread&) = delete;
  // The thread must have ended (a derived destructor ends it) or never have
  // been started.
  virtual ~TWorkerThread();

  // Resumes the thread the first time it is called and returns once the
  // thread owns its message queue, so posts made afterwards are never lost.
  // Whoever first posts to the thread calls it; calling it again does nothing.
  void Start();

  DWORD ThreadID() const { return FThreadID; }
  HANDLE Handle() const { return FThread.Get(); }
  bool SetPriority(int priority) { return SetThreadPriority(FThread.Get(), priority) != FALSE; }
  // True when the thread ended within the time-out.
  bool WaitFor(DWORD timeoutMs = INFINITE) const;
  bool Finished() const { return WaitFor(0); }

 protected:
  TWorkerThread();
  // Runs on the thread once it has its queue, before Start returns.
  virtual void Prepare() {}
  // The thread body.
  virtual void Execute() = 0;
  // An exception escaped Execute; the thread ends after this. Must not throw.
  virtual void Unhandled(const std::string& text);

 private:
  static DWORD WINAPI ThreadProc(LPVOID self);

  TKernelHandle FThread;
  TKernelHandle FReady;
  DWORD FThreadID = 0;
  std::once_flag FStarted;
  std::atomic<bool> FCancelled{false};
};
