#include "UrlForms.h"

const char* const TextFailOpenNetwork = "Fail to open network connection";
const char* const TextFailDownloadFile = "Fail to download file: ";

namespace {

std::string FirstFourUpper(const std::string& URL) {
  std::string head = URL.substr(0, 4);
  for (char& c : head)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return head;
}

bool IsChannelFile(const std::string& URL) {
  std::string ext = URLExtension(URL);
  if (ext.size() != 4) return false;
  for (char& c : ext)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return ext == ".SMS";
}

}  // namespace

std::string URLExtension(const std::string& URL) {
  // Scanning from the end, a "\" or ":" reached before any "." means the last
  // "." belongs to a folder or a drive, not to the name.
  for (size_t i = URL.size(); i > 0; --i) {
    const char c = URL[i - 1];
    if (c == '.') return URL.substr(i - 1);
    if (c == '\\' || c == ':') break;
  }
  return std::string();
}

TURLForm ClassifyURL(const std::string& URL) {
  const std::string head = FirstFourUpper(URL);
  if (head == "KRMS") return TURLForm::Live;
  if (IsChannelFile(URL)) return head == "HTTP" ? TURLForm::RemoteChannel : TURLForm::LocalChannel;
  return TURLForm::File;
}

std::wstring ResolveAgainstPage(const std::wstring& Path, const std::function<std::wstring()>& PagePath) {
  if (Path.find_first_of(L"/\\") != std::wstring::npos) return Path;
  const std::wstring page = PagePath ? PagePath() : std::wstring();
  const size_t cut = page.find_last_of(L"/\\");
  if (cut == std::wstring::npos) return Path;
  return page.substr(0, cut + 1) + Path;
}

std::string ChannelCopyPath(const std::string& TempFolder) { return TempFolder + "Zephyrcastor.sms"; }
