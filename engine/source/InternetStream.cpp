#include "source/InternetStream.h"

#include <algorithm>
#include <cstring>

#include "base/Exception.h"
#include "base/Log.h"

namespace {

std::string ErrorCode() { return std::to_string(GetLastError()); }

}  // namespace

TInternetStream::TInternetStream(const std::string& url) : FURL(url) {
  std::memset(FStatusBuffer, 0, sizeof(FStatusBuffer));
  char host[1024] = {};
  char path[4096] = {};
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof(host);
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof(path);
  BOOL cracked = InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts);
  BRX_ASSERT(cracked, "InternetStream");
  FHostName = host;
  FPort = parts.nPort;
  FPath = path;
}

TInternetStream::~TInternetStream() { CloseHandles(); }

HINTERNET TInternetStream::Connect() {
  std::lock_guard<std::mutex> guard(FLock);
  if (!FInternet) {
    FInternet = InternetOpenA(AgentText, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 1);
    if (!FInternet) throw Exception("InternetOpen Error: " + ErrorCode());
  }
  DWORD timeout = TimeoutMs;
  if (!InternetSetOptionA(FInternet, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout)))
    throw Exception("InternetSetOption Error: " + ErrorCode());
  // Connections and requests take their time-outs from their parent when they
  // are made, so the receive bound goes on before them.
  InternetSetOptionA(FInternet, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
  if (!FConnection) {
    FConnection = InternetConnectA(FInternet, FHostName.c_str(), FPort, "", "", INTERNET_SERVICE_HTTP, 0, 1);
    if (!FConnection) throw Exception("InternetConnect Error: " + ErrorCode());
  }
  return FConnection;
}

DWORD TInternetStream::GetStatusCode(HINTERNET request) {
  std::memset(FStatusBuffer, 0, sizeof(FStatusBuffer));
  DWORD length = sizeof(FStatusBuffer);
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, FStatusBuffer, &length,
                      nullptr))
    throw Exception("HttpQueryInfo: " + ErrorCode());
  DWORD status;
  std::memcpy(&status, FStatusBuffer, sizeof(status));
  return status;
}

void TInternetStream::ForgetRequest(HINTERNET request) {
  std::lock_guard<std::mutex> guard(FLock);
  // CloseHandles may have closed it already, from another thread.
  if (FRequest == request && request) {
    InternetCloseHandle(request);
    FRequest = nullptr;
  }
}

int64_t TInternetStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t done = 0;
  HINTERNET request = nullptr;
  try {
    HINTERNET connection = Connect();
    request = HttpOpenRequestA(connection, "GET", FPath.c_str(), "HTTP/1.1", nullptr, nullptr, 0x02000000, 1);
    if (!request) throw Exception("HttpOpenRequest Error: " + ErrorCode());
    {
      std::lock_guard<std::mutex> guard(FLock);
      if (!FConnection) {
        // Closed under us by CloseHandles: the read is cancelled.
        InternetCloseHandle(request);
        request = nullptr;
        throw Exception("HttpOpenRequest Error: " + std::to_string(ERROR_INTERNET_OPERATION_CANCELLED));
      }
      FRequest = request;
    }
    DWORD timeout = TimeoutMs;
    InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
    std::string header =
        "RANGE:bytes=" + std::to_string(FPosition) + "-" + std::to_string(FPosition + count - 1) + "\r\n";
    if (!HttpAddRequestHeadersA(request, header.c_str(), static_cast<DWORD>(header.size()),
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE))
      throw Exception("HttpAddRequestHeaders Error : " + ErrorCode());
    if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0))
      throw Exception("HttpSendRequest Error : " + ErrorCode());
    DWORD status = GetStatusCode(request);
    // A server that ignores the range answers 200 with the whole file: that
    // is the data asked for only when the range starts at 0.
    if (!(status == 206 || (status == 200 && FPosition == 0)))
      throw Exception("GetRequestStatusCode Error : " + std::to_string(status) + ", " + FURL + ", " + header);
    auto* out = static_cast<uint8_t*>(buffer);
    while (done < count) {
      DWORD want = static_cast<DWORD>(std::min<int64_t>(count - done, 0x10000000));
      DWORD got = 0;
      if (!InternetReadFile(request, out + done, want, &got))
        throw Exception("InternetReadFile Error :" + ErrorCode());
      if (got == 0) break;
      done += got;
      FPosition += got;
    }
  } catch (const Exception& e) {
    GlobalLog().AddLine(e.Message());
  }
  ForgetRequest(request);
  return done;
}

int64_t TInternetStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soBeginning:
      FPosition = offset;
      break;
    case soCurrent:
      FPosition += offset;
      break;
    default:
      throw Exception("Not Implement");
  }
  return FPosition;
}

void TInternetStream::Write(const void*, int64_t) { throw Exception("Not Implement"); }

void TInternetStream::CloseHandles() {
  std::lock_guard<std::mutex> guard(FLock);
  if (FRequest) InternetCloseHandle(FRequest);
  FRequest = nullptr;
  if (FConnection) InternetCloseHandle(FConnection);
  FConnection = nullptr;
  if (FInternet) InternetCloseHandle(FInternet);
  FInternet = nullptr;
}
