#pragma once
// What the control hands to every thumbnail download: a lock and the
// control's temporary folder. A download takes nothing from it.
#include <mutex>
#include <string>

class TDownloadBuffer {
 public:
  explicit TDownloadBuffer(std::string Path) : FPath(std::move(Path)) {}

  const std::string& Path() const { return FPath; }
  void Lock() { FLock.lock(); }
  void Unlock() { FLock.unlock(); }

 private:
  std::mutex FLock;
  std::string FPath;
};
