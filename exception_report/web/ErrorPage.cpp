#include "web/ErrorPage.h"

#include <cstdio>
#include <random>

#include "core/ExceptionLog.h"
#include "core/ExceptionLogText.h"
#include "core/Streams.h"
#include "core/VArevText.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "web/WebHost.h"

namespace RevavaRez {

std::string LastPageIDComment;
const char kOkButtonLine[] =
    "<br><input type=button value=\"Ok\" OnClick=\"history.go(-1)\" "
    "style=\"width:75;height:25;z-index:100;font-style:normal;font-size:10pt;text-decoration:none;\">";
bool ISAPIClientWriting = false;

namespace {

EXTENSION_CONTROL_BLOCK* CurrentBlock = nullptr;

const char kPlaceholder[] = "<%HTML_TAG%>";
const char kCannotWriteCGI[] = "CGI: Cannot write in the ouput file.";

// Position from 1 of sub in text without regard to ASCII case, 0 when absent.
size_t PosText(const std::string& sub, const std::string& text) { return Pos(UpperCase(sub), UpperCase(text)); }

uint32_t RandomWord() {
  try {
    std::random_device device;
    return static_cast<uint32_t>(device());
  } catch (...) {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return static_cast<uint32_t>(counter.QuadPart) ^ GetCurrentProcessId() ^ (GetCurrentThreadId() << 16);
  }
}

bool WriteAll(HANDLE handle, const std::string& bytes) {
  DWORD written = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// Clears the flag however the client write ends.
struct TClientWriting {
  TClientWriting() { ISAPIClientWriting = true; }
  ~TClientWriting() { ISAPIClientWriting = false; }
  TClientWriting(const TClientWriting&) = delete;
  TClientWriting& operator=(const TClientWriting&) = delete;
};

bool SendToISAPI(const std::string& headers, const std::string& page) {
  EXTENSION_CONTROL_BLOCK* block = CurrentBlock;
  if (block == nullptr) {
    ReportWarning(eeShowError, "ISAPI: ServerECB = nil");
    return false;
  }
  // A page above what one write can state never reaches the client whole.
  if (page.size() > MAXDWORD) return false;
  TClientWriting writing;
  block->dwHttpStatusCode = 200;
  char status[] = "200 Error";
  DWORD statusSize = sizeof status - 1;
  std::string headerText = headers;
  const BOOL headed =
      block->ServerSupportFunction != nullptr &&
      block->ServerSupportFunction(block->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, status, &statusSize,
                                   reinterpret_cast<LPDWORD>(&headerText[0]));
  DWORD pageSize = static_cast<DWORD>(page.size());
  const BOOL written = block->WriteClient != nullptr &&
                       block->WriteClient(block->ConnID, const_cast<char*>(page.data()), &pageSize, HSE_IO_SYNC);
  return headed && written;
}

bool SendToCGI(const std::string& headers, const std::string& page) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!WriteAll(output, headers) || !WriteAll(output, page)) {
    ReportWarning(eeShowError, kCannotWriteCGI);
    return false;
  }
  return true;
}

bool SendToWinCGI(const std::string& headers, const std::string& page) {
  try {
    const std::string file = WinCGIOutputFile();
    const DWORD attributes = GetFileAttributesA(file.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    TFileStream stream(file, exists ? uint16_t(fmOpenWrite | fmShareDenyNone) : uint16_t(fmCreate));
    stream.WriteBuffer(headers.data(), static_cast<int64_t>(headers.size()));
    stream.WriteBuffer(page.data(), static_cast<int64_t>(page.size()));
    // Whatever the program wrote there before must not trail the page.
    stream.SetSize(stream.Position());
    return true;
  } catch (...) {
    InternalErrorHandler("WinCGI");
    return false;
  }
}

}  // namespace

std::string BuildErrorPage(const TVezavuModuleOptions& options, const std::string& text, bool withOkButton) {
  std::string body = EscapeHtml(text);
  if (withOkButton) body += kOkButtonLine;

  std::string layout = options.PageTemplate();
  if (Trim(FlattenControlChars(layout)).empty()) layout = TVezavuModuleOptions(false, std::string()).PageTemplate();

  // Only the exact spelling is replaced below; the first placeholder in any
  // case is made to count.
  if (const size_t at = PosText(kPlaceholder, layout)) {
    Delete(layout, at, sizeof kPlaceholder - 1);
    Insert(kPlaceholder, layout, at);
  }

  const size_t open = PosText("<title>", layout);
  const size_t close = PosText("</title>", layout);
  if (open == 0 || (close != 0 && close < open)) layout = "<title>" + options.TextAt(2) + "</title>" + layout;

  LastPageIDComment = "<!-- RevavaRez ID: " + HexText(RandomWord(), 8) + " -->";
  return ReplaceAll(layout, kPlaceholder, body) + LastPageIDComment;
}

std::string BuildErrorPage(const std::string& text, bool withOkButton) {
  const TLibraryState& state = LibraryState();
  if (state.Options) return BuildErrorPage(*state.Options, text, withOkButton);
  return BuildErrorPage(TVezavuModuleOptions(false, std::string()), text, withOkButton);
}

std::string ErrorPageHeaders(size_t pageBytes, bool withStatusLine) {
  return std::string(withStatusLine ? "Status: 200 Error\r\n" : "") +
         "Cache-Control: no-cache\r\n"
         "Expires: 0\r\n"
         "Content-Type: text/html\r\n"
         "Content-Length: " +
         std::to_string(pageBytes) +
         "\r\n"
         "Content:\r\n\r\n";
}

bool SendErrorPage(const std::string& page) {
  try {
    if (IsISAPIHost()) return SendToISAPI(ErrorPageHeaders(page.size(), false), page);
    if (IsCGIHost()) return SendToCGI(ErrorPageHeaders(page.size(), true), page);
    if (IsWinCGIHost()) return SendToWinCGI(ErrorPageHeaders(page.size(), true), page);
    return false;
  } catch (...) {
    InternalErrorHandler("SendErrorPage");
    return false;
  }
}

void SetExtensionControlBlock(EXTENSION_CONTROL_BLOCK* block) { CurrentBlock = block; }

EXTENSION_CONTROL_BLOCK* ExtensionControlBlock() { return CurrentBlock; }

}  // namespace RevavaRez
