#pragma once
// The files a report produces besides the log, the list of files that go
// with a sent report, the log object's life during one exception's
// processing, and the dialog settings file.
#include <string>

#include "core/DateTime.h"
#include "core/StringList.h"

namespace RevavaRez {

class TLogFile;
class TVezavuModuleOptions;

// What the processing of the current exception has set. Plain globals: the
// processing that sets and reads them is serialised by its lock.
extern TLogFile* LogObject;        // from OpenLog to CloseLog
extern std::string LogObjectPath;  // the path LogObject was opened for
extern bool DuplicateFound;
extern std::string LastHtmlPage;
extern std::string CodedNamesPassword;
extern bool ScreenshotChecked;
extern TDateTime ExceptionTime;

// Names in the temporary folder, computed from the options on each call;
// empty where the options (or the state above) leave a file out.
std::string LogCopyName(const TVezavuModuleOptions& options);
std::string XmlCopyName(const TVezavuModuleOptions& options);
std::string ScreenshotName(const TVezavuModuleOptions& options);
std::string SentScreenshotName(const TVezavuModuleOptions& options);
std::string HtmlPageName(const TVezavuModuleOptions& options);
std::string SentHtmlPageName(const TVezavuModuleOptions& options);
std::string ArchiveName();

// The name under which the file travels; with SendFlags bit 8 it carries the
// exception's date and time.
std::string AttachmentName(const TVezavuModuleOptions& options, const std::string& path);
void BuildAttachmentList(const TVezavuModuleOptions& options, bool forEmail, TStringList& list);

// Errors are swallowed: the page is then simply not there.
void SaveLastHtmlPage(const TVezavuModuleOptions& options, const std::string& text);
// The log copy as XML, or the current report alone when there is no copy.
// The log's errors reach the caller.
void SaveXmlCopy(const TVezavuModuleOptions& options, const std::string& currentReport);
// Empty for an empty path or a file that is missing or cannot be read, and
// for one larger than the log may be (kLogFileLimit).
std::string ReadTextFile(const std::string& path);

void OpenLog(const TVezavuModuleOptions& options);
void CloseLog();
// With LogFlags bit 0: whether the log holds a report with the same
// exception address, module, type and message. The log is closed
// afterwards, also when reading it failed (the error then reaches the
// caller).
void CheckDuplicate(const TVezavuModuleOptions& options, const std::string& address, const std::string& module,
                    const std::string& type, const std::string& message);

// The private-profile functions on one settings file: a name without folder
// lives in the Windows folder, or in the library's profile folder when it
// cannot be used there. Without a usable place, reading gives the default
// and writing does nothing.
std::string IniRead(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& defaultValue);
void IniWrite(const std::string& file, const std::string& section, const std::string& key, const std::string& value);

constexpr char kSettingsFileName[] = "RevavaRez.ini";

}  // namespace RevavaRez
