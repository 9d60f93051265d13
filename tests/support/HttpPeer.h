#pragma once
// A small HTTP/1.1 server on 127.0.0.1 (ephemeral port) for the tests of the
// web source: it serves byte vectors by path, honours "Range: bytes=a-b"
// with 206 and Content-Range, logs every request and can misbehave on
// purpose. It runs on threads of its own and ends by itself after its
// lifetime even when a test forgets it.
#include <winsock2.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class THttpPeer {
 public:
  enum class TMode {
    Normal,       // 206 for a range, 200 without one
    NotFound,     // 404 for everything
    IgnoreRange,  // 200 and the whole body, whatever the range
    Stall,        // sends the headers and StallAfter bytes, then nothing
    CloseEarly,   // announces the whole answer, closes after StallAfter bytes
    ServerError,  // 500 for everything
    Hold,         // takes requests but answers none until the mode changes
    Refuse,       // stops listening for good: every connection is refused
  };
  struct TRequest {
    std::string Method;
    std::string Path;
    std::string Range;  // the value of the Range header, empty when none
  };

  explicit THttpPeer(unsigned lifetimeMs = 60000);
  ~THttpPeer();
  THttpPeer(const THttpPeer&) = delete;
  THttpPeer& operator=(const THttpPeer&) = delete;

  void Serve(const std::string& path, std::vector<uint8_t> body);
  // A held request is answered in the new mode.
  void SetMode(TMode mode, uint64_t stallAfter = 0);
  // Requests for this path stall after the headers, whatever the mode.
  void StallPath(const std::string& path);
  // Requests for this path get 200 without a length and then bytes without
  // end, until the client goes or the peer ends (its lifetime bounds it).
  void EndlessPath(const std::string& path);
  uint16_t Port() const { return FPort; }
  std::string URL(const std::string& path) const;
  std::vector<TRequest> Requests();
  // Waits (bounded) until at least count requests were logged.
  bool WaitForRequests(size_t count, unsigned timeoutMs);
  // Ends the server and every connection; called by the destructor too.
  void Shutdown();

 private:
  void AcceptLoop();
  void Connection(SOCKET client);
  bool Wait(unsigned ms);  // false once the server ends

  SOCKET FListener = INVALID_SOCKET;
  uint16_t FPort = 0;
  unsigned FLifetimeMs;
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FStopping = false;
  // Shared, not copied, by the connections that serve them: a long recording
  // is read in thousands of small ranges.
  std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> FFiles;
  TMode FMode = TMode::Normal;
  uint64_t FStallAfter = 0;
  std::set<std::string> FStalledPaths;
  std::set<std::string> FEndlessPaths;
  std::vector<TRequest> FRequests;
  std::vector<SOCKET> FClients;
  std::vector<std::thread> FThreads;
  std::thread FAcceptThread;
};
