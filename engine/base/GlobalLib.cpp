#include "base/GlobalLib.h"

#include "base/WideText.h"

namespace {

void AppendTwoDigits(std::string& out, int value) {
  if (value <= 9) out += '0';
  out += std::to_string(value);
}

}  // namespace

std::string SecondsToTimeStr(int Seconds) {
  int rest = Seconds > 0 ? Seconds : 0;
  const int hours = rest / 3600;
  rest %= 3600;
  const int minutes = rest / 60;
  rest %= 60;
  std::string out;
  AppendTwoDigits(out, hours);
  out += ':';
  AppendTwoDigits(out, minutes);
  out += ':';
  AppendTwoDigits(out, rest);
  return out;
}

bool IsRemoteURL(const std::string& URL) {
  if (URL.size() < 4) return false;
  std::string head = URL.substr(0, 4);
  for (char& c : head)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return head == "HTTP" || head == "FTP:" || head == "KRMS";
}

std::wstring FileURLToPath(const std::wstring& URL) {
  std::wstring text = URL;
  if (WidePosText(L"file://", text) > 0) {
    WideStringReplace(text, L"%7B", L"{", text, false, rfReplaceAll);
    WideStringReplace(text, L"%7D", L"}", text, false, rfReplaceAll);
    WideStringReplace(text, L"%20", L" ", text, false, rfReplaceAll);
    const size_t drop = WidePosText(L"file:///", text) > 0 ? 8 : 7;
    text.erase(0, drop);
    for (wchar_t& c : text)
      if (c == L'/') c = L'\\';
    if (text.size() > 1 && text[1] != L':' && text.compare(0, 2, L"\\\\") != 0) text.insert(0, L"\\\\");
  }
  const size_t query = text.find(L'?');
  if (query != std::wstring::npos) text.erase(query);
  return text;
}

bool PostThreadMessageWait(DWORD ThreadID, HANDLE Handle, UINT Msg, WPARAM WParam, LPARAM LParam) {
  for (;;) {
    if (PostThreadMessageW(ThreadID, Msg, WParam, LParam)) return true;
    if (WaitForSingleObject(Handle, 10) == WAIT_OBJECT_0) return false;
  }
}

DWORD WaitLettingSentMessagesThrough(DWORD Count, const HANDLE* Handles) {
  for (;;) {
    const DWORD result = MsgWaitForMultipleObjects(Count, Handles, FALSE, INFINITE, QS_SENDMESSAGE);
    if (result != WAIT_OBJECT_0 + Count) return result;
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}
