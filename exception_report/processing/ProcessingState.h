#pragma once
// What the processing of exceptions keeps between its steps and between
// exceptions, and what other pieces (dialog, sending) read of it. Written
// only under the processing lock; what ReportFiles.h keeps stays there.
#include <cstdint>
#include <memory>
#include <string>

#include "core/DateTime.h"
#include "core/StringList.h"
#include "events/ExceptionRecord.h"

namespace RevavaRez {

class TVezavuStackList;

struct TProcessingState {
  TVezavuExceptionRecord Record{};
  // The record's report text lives here.
  std::string ReportText;
  // The CPU section, for the dialog's CPU page.
  std::string CpuText;
  // What is sent: the report, or the whole log with SendFlags bit 2.
  std::string TextToSend;
  bool Handled = true;
  void* LastExceptionObject = nullptr;
  int32_t ErrorCount = 0;
  // "yyyy-mm-dd hh:nn:ss", oldest first.
  TStringList CrashTimes;
  bool CloseRequested = false;
  bool DialogResult = true;
  // The dialog's check boxes as it closed: the send choice and the copy to
  // the clipboard (the screenshot choice is ScreenshotChecked).
  bool SendChecked = false;
  bool CopyChecked = false;
  // What the custom-data handlers gave, for the dialog's Other page.
  std::string CustomDataText;
  std::string LastExceptionMessage;
  std::unique_ptr<TVezavuStackList> StoredCallStack;
  // Set by the web framework's hooks: its server controller handles
  // exceptions itself.
  bool WebFrameworkHandlesExceptions = false;
  bool NestedMessageDisplay = false;
};

TProcessingState& ProcessingState();
// The last exception object processed (LibraryHooks.LastProcessedException).
const void* LastProcessedObject();

}  // namespace RevavaRez
