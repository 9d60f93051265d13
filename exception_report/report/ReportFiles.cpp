#include "report/ReportFiles.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "core/ExceptionLog.h"
#include "core/Streams.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "options/VezavuModuleOptions.h"
#include "report/LogFile.h"

namespace RevavaRez {

TLogFile* LogObject = nullptr;
std::string LogObjectPath;
bool DuplicateFound = false;
std::string LastHtmlPage;
std::string CodedNamesPassword;
bool ScreenshotChecked = false;
TDateTime ExceptionTime = 0;

namespace {

constexpr uint16_t kSendXmlCopy = 0x0008;
constexpr uint16_t kSendScreenshot = 0x0010;
constexpr uint16_t kSendHtmlPage = 0x0040;
constexpr uint16_t kSendDatedNames = 0x0100;
constexpr uint8_t kLogCheckDuplicates = 0x01;
constexpr DWORD kIniReadBuffer = 2048;

bool SendFlag(const TVezavuModuleOptions& options, uint16_t bit) { return (options.SendFlags() & bit) != 0; }

std::string InTemp(const std::string& name) { return WithTrailingBackslash(TempFolder()) + name; }

std::string DateStamp(TDateTime time) {
  TDateParts parts = DecodeDateTime(time);
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", parts.Year, parts.Month, parts.Day, parts.Hour,
                parts.Minute, parts.Second);
  return text;
}

// The settings file's full path, or empty when no usable place exists.
std::string SettingsPath(const std::string& file, bool reading) {
  std::string path = file;
  if (ExtractFilePath(path).empty()) {
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return std::string();
    path = WithTrailingBackslash(std::string(folder, length)) + file;
  }
  // One settings file for the whole process, hence no folder per program.
  if (!FindUsableFile(path, false, reading)) return std::string();
  return path;
}

}  // namespace

std::string LogCopyName(const TVezavuModuleOptions& options) {
  return InTemp(ExtractFileName(LogFilePath(options)));
}

std::string XmlCopyName(const TVezavuModuleOptions& options) {
  if (!SendFlag(options, kSendXmlCopy)) return std::string();
  return InTemp(ChangeFileExt(ExtractFileName(LogFilePath(options)), ".xml"));
}

std::string ScreenshotName(const TVezavuModuleOptions& options) {
  return SendFlag(options, kSendScreenshot) ? InTemp("Screenshot.png") : std::string();
}

std::string SentScreenshotName(const TVezavuModuleOptions& options) {
  return ScreenshotChecked ? ScreenshotName(options) : std::string();
}

std::string HtmlPageName(const TVezavuModuleOptions& options) {
  return SendFlag(options, kSendHtmlPage) ? InTemp("LastHTMLPage.html") : std::string();
}

std::string SentHtmlPageName(const TVezavuModuleOptions& options) {
  return LastHtmlPage.empty() ? std::string() : HtmlPageName(options);
}

std::string ArchiveName() { return InTemp("CompressFiles.tgz"); }

std::string AttachmentName(const TVezavuModuleOptions& options, const std::string& path) {
  std::string name = ExtractFileName(path);
  if (!SendFlag(options, kSendDatedNames)) return name;
  std::string extension = ExtractFileExt(name);
  return ChangeFileExt(name, "") + "_" + DateStamp(ExceptionTime) + extension;
}

void BuildAttachmentList(const TVezavuModuleOptions& options, bool forEmail, TStringList& list) {
  list.BeginUpdate();
  list.Clear();
  const std::string& attached = options.AttachedFileList();
  size_t start = 0;
  for (;;) {
    size_t end = attached.find(';', start);
    std::string piece = Trim(attached.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (!piece.empty()) list.Add(piece);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  // Appended reports already travel in the mail's body.
  if (!(forEmail && options.AppendReports())) list.Add(LogCopyName(options));
  for (const std::string& name : {SentScreenshotName(options), SentHtmlPageName(options), XmlCopyName(options)})
    if (!name.empty()) list.Add(name);
  list.EndUpdate();
}

void SaveLastHtmlPage(const TVezavuModuleOptions& options, const std::string& text) {
  std::string name = HtmlPageName(options);
  if (name.empty()) return;
  try {
    TStringList lines;
    lines.SetText(text);
    std::string content = lines.Text();
    TFileStream file(name, fmCreate);
    file.WriteBuffer(content.data(), static_cast<int64_t>(content.size()));
  } catch (...) {
    // A page that cannot be written is simply not sent.
  }
}

void SaveXmlCopy(const TVezavuModuleOptions& options, const std::string& currentReport) {
  std::string xmlName = XmlCopyName(options);
  if (xmlName.empty()) return;
  std::string copyName = LogCopyName(options);
  std::unique_ptr<TLogFile> log;
  if (!copyName.empty()) {
    log = std::make_unique<TLogFile>(copyName, true);
  } else {
    log = std::make_unique<TLogFile>(std::string(), true);
    log->AddEntry(currentReport, 1);
  }
  log->Password = CodedNamesPassword;
  log->SaveAsXML(xmlName);
}

std::string ReadTextFile(const std::string& path) {
  if (path.empty()) return std::string();
  try {
    TFileStream file(path, fmOpenRead | fmShareDenyNone);
    int64_t size = file.Size();
    // The files read here go with a report, and none of them may be larger
    // than the log. Bounded before it becomes a length, which on 32-bit
    // would keep only the low part of a size past 4 GiB.
    if (size <= 0 || size > kLogFileLimit) return std::string();
    std::string text(static_cast<size_t>(size), '\0');
    // A file cut meanwhile gives what is left of it.
    text.resize(static_cast<size_t>(file.Read(&text[0], static_cast<int64_t>(text.size()))));
    return text;
  } catch (...) {
    return std::string();
  }
}

void OpenLog(const TVezavuModuleOptions& options) {
  std::string path = LogFilePath(options);
  if (LogObject != nullptr && LogObjectPath != path) CloseLog();
  if (LogObject == nullptr) {
    LogObject = new TLogFile(path, false);
    LogObjectPath = path;
  }
}

void CloseLog() {
  delete LogObject;
  LogObject = nullptr;
}

void CheckDuplicate(const TVezavuModuleOptions& options, const std::string& address, const std::string& module,
                    const std::string& type, const std::string& message) {
  DuplicateFound = false;
  if ((options.LogFlags() & kLogCheckDuplicates) == 0) return;
  try {
    OpenLog(options);
    DuplicateFound = LogObject->HasEntryWith({"2.2", "2.3", "2.4", "2.5"}, {address, module, type, message});
  } catch (...) {
    CloseLog();
    throw;
  }
  CloseLog();
}

std::string IniRead(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& defaultValue) {
  std::string path = SettingsPath(file, true);
  if (path.empty()) return defaultValue;
  std::vector<char> buffer(kIniReadBuffer);
  DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                          kIniReadBuffer, path.c_str());
  return std::string(buffer.data(), length);
}

void IniWrite(const std::string& file, const std::string& section, const std::string& key, const std::string& value) {
  std::string path = SettingsPath(file, false);
  if (path.empty()) return;
  WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str());
}

}  // namespace RevavaRez
