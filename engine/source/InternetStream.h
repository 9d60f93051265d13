#pragma once
// A stream over a file on a web server: every Read is one HTTP GET for the
// byte range it wants, so the stream needs no size and seeking is free.
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "base/Stream.h"

class TInternetStream : public TStream {
 public:
  static constexpr const char* AgentText =
      "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0; .NET CLR 1.1.4322)";
  // A read gets no answer byte for this long: it fails, so a stalled server
  // cannot hold the source (and a stop waiting for it) beyond it.
  static constexpr DWORD TimeoutMs = 3000;

  explicit TInternetStream(const std::string& url);
  ~TInternetStream() override;

  // One ranged request for count bytes from the position; answers the bytes
  // that came. Failures are logged, never raised: the answer is then short.
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void Write(const void* buffer, int64_t count);

  // Closes the request in progress, the connection and the Internet handle.
  // Safe from another thread while a Read runs: that read fails at once.
  void CloseHandles();

  const std::string& URL() const { return FURL; }
  const std::string& HostName() const { return FHostName; }
  INTERNET_PORT Port() const { return FPort; }
  const std::string& Path() const { return FPath; }

 private:
  HINTERNET Connect();
  DWORD GetStatusCode(HINTERNET request);
  void ForgetRequest(HINTERNET request);

  std::string FURL;
  std::string FHostName;
  INTERNET_PORT FPort = 0;
  std::string FPath;
  int64_t FPosition = 0;
  std::mutex FLock;  // guards the three handles between the reader and CloseHandles
  HINTERNET FInternet = nullptr;
  HINTERNET FConnection = nullptr;
  HINTERNET FRequest = nullptr;
  char FStatusBuffer[128];
};
