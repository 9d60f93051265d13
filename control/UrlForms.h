#pragma once
// How the text handed to the control chooses its source. Byte-level and free
// of the platform, so the same rules build natively too; the caller does the
// file-URL conversion and the wide-to-byte conversion.
#include <functional>
#include <string>

enum class TURLForm {
  Live,           // first four characters "KRMS"
  RemoteChannel,  // a ".sms" channel file on a web server
  LocalChannel,   // a ".sms" channel file on disk
  File,           // everything else: a recording (or picture) on disk or on a web server
};

// Failures of an open.
extern const char* const TextFailOpenNetwork;   // no WinInet root handle
extern const char* const TextFailDownloadFile;  // followed by the URL

// The extension: from the last "." on, provided no "\" or ":" follows it;
// empty otherwise. A "/" does not end it, so "http://h/a.b/c" answers ".b/c".
std::string URLExtension(const std::string& URL);

// The four forms, tested in their order (a live prefix wins over ".sms").
TURLForm ClassifyURL(const std::string& URL);

// A text that holds neither "/" nor "\" is a bare name: it is put behind
// the folder of the hosting page. PagePath is asked for only then, and gives
// the page's URL already turned into a path where it was a file URL.
std::wstring ResolveAgainstPage(const std::wstring& Path, const std::function<std::wstring()>& PagePath);

// The local copy a channel file on a web server is downloaded to.
std::string ChannelCopyPath(const std::string& TempFolder);
