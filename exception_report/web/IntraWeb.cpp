#include "web/IntraWeb.h"

#include <windows.h>

#include <vector>

#include "core/ExceptionLog.h"
#include "core/ExceptionLogText.h"
#include "core/VArevText.h"
#include "web/ErrorPage.h"

namespace RevavaRez {

std::string IntraWebMessage;

TIntraWebHost& IntraWebHost() {
  static TIntraWebHost host;
  return host;
}

namespace {

const char kOkTag[] = "{%butnOk%}";

// "C:" of "C:\x", "\\server\share" of a network path, else empty.
std::string DriveOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    size_t end = path.find('\\', 2);
    if (end != std::string::npos) end = path.find('\\', end + 1);
    return path.substr(0, end);
  }
  return std::string();
}

std::vector<std::string> Components(const std::string& folder) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < folder.size()) {
    size_t end = folder.find('\\', start);
    if (end == std::string::npos) end = folder.size();
    if (end > start) parts.push_back(folder.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The file's path as seen from the folder: ".." for each of the folder's
// components past the shared ones, then the file's own. A file on another
// drive keeps its whole path.
std::string RelativePath(const std::string& folder, const std::string& file) {
  const std::string drive = DriveOf(folder);
  if (UpperCase(drive) != UpperCase(DriveOf(file))) return file;
  const std::vector<std::string> from = Components(folder.substr(drive.size()));
  const std::vector<std::string> to = Components(ExtractFilePath(file).substr(drive.size()));
  size_t shared = 0;
  while (shared < from.size() && shared < to.size() && UpperCase(from[shared]) == UpperCase(to[shared])) ++shared;
  std::string path;
  for (size_t i = shared; i < from.size(); ++i) path += "..\\";
  for (size_t i = shared; i < to.size(); ++i) path += to[i] + "\\";
  return path + ExtractFileName(file);
}

bool MakeFolders(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '\\') path.pop_back();
  if (path.empty() || (path.size() == 2 && path[1] == ':')) return true;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::string parent = ExtractFilePath(path);
  if (!parent.empty() && parent != path && parent.size() < path.size() && !MakeFolders(parent)) return false;
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// True only when the whole page is in the file.
bool WriteTemplate(const std::string& file, const std::string& page) {
  if (!MakeFolders(ExtractFilePath(file))) return false;
  HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool whole = page.size() <= MAXDWORD &&
                     WriteFile(handle, page.data(), static_cast<DWORD>(page.size()), &written, nullptr) &&
                     written == page.size();
  return CloseHandle(handle) && whole;
}

}  // namespace

bool ShowIntraWebErrorPage() {
  try {
    TIntraWebHost& host = IntraWebHost();
    if (host.Application == nullptr || host.ServerController == nullptr) {
      ReportWarning(eeShowError, "IntraWeb: IntraWebApplication e/o IntraWebServerController are set to nil.");
      return false;
    }
    IntraWebMessage = EscapeHtml(IntraWebMessage);
    std::string page = BuildErrorPage(IntraWebMessage + "<br>" + kOkTag, false);
    if (Pos(UpperCase(kOkTag), UpperCase(page)) == 0) page += kOkTag;

    const std::string templateDir =
        Trim(host.ControllerString ? host.ControllerString(host.ServerController, "TemplateDir") : std::string());
    const std::string drive = DriveOf(templateDir);
    std::vector<std::string> folders;
    const std::string temp = TempFolder();
    if (!temp.empty() && UpperCase(DriveOf(temp)) == UpperCase(drive)) folders.push_back(WithTrailingBackslash(temp));
    folders.push_back(drive + "\\Temp\\");
    folders.push_back(templateDir.empty() ? templateDir : WithTrailingBackslash(templateDir));

    std::string tried, written;
    for (const std::string& folder : folders) {
      tried = folder + kIntraWebTemplateName;
      if (WriteTemplate(tried, page)) {
        written = tried;
        break;
      }
    }
    const std::string templateArgument = written.empty() ? std::string() : RelativePath(templateDir, written);

    // The framework's own routine may fail in any way; then the page was
    // not shown.
    bool shown = false;
    try {
      if (host.ShowMessage) {
        host.ShowMessage(host.Application, IntraWebMessage, 2, templateArgument);
        shown = true;
      }
    } catch (...) {
    }
    if (!shown) ReportWarning(eeShowError, "IntraWeb: Cannot show the error page.");
    if (written.empty()) ReportWarning(eeShowError, "IntraWeb: Cannot create the \"" + tried + "\" template.");
    return shown;
  } catch (...) {
    InternalErrorHandler("IntraWeb");
    return false;
  }
}

}  // namespace RevavaRez
