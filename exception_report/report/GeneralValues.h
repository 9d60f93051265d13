#pragma once
// The system values of the report's general section. None raises: a failing
// system call gives an empty text or the value's fixed fall-back.
#include <windows.h>

#include <iphlpapi.h>

#include <string>
#include <vector>

#include "report/GeneralText.h"

namespace RevavaRez {

std::string UpTimeText();
// The English language name of the installed locale equal to the system
// default; empty when there is none.
std::string LocaleName();

// The IP helper's two queries, so that tests can stand in for the library.
using TGetAdaptersInfo = DWORD(WINAPI*)(PIP_ADAPTER_INFO, PULONG);
using TGetPerAdapterInfo = DWORD(WINAPI*)(ULONG, PIP_PER_ADAPTER_INFO, PULONG);
// The adapters the queries list; empty when either is missing or fails.
std::vector<TAdapterRecord> ReadAdapterRecords(TGetAdaptersInfo getAdaptersInfo,
                                               TGetPerAdapterInfo getPerAdapterInfo);
// Through "iphlpapi.dll", loaded for the call.
TAdapterLists AdapterLists();

// The processor's name read under root\key.
std::string ProcessorName(HKEY root, const std::string& key);
extern const char* const ProcessorKey;

// Sizes of the drive that holds the file, in Gb.
std::string DiskTotalText(const std::string& fileName);
std::string DiskFreeText(const std::string& fileName);
std::string TotalMemoryText();
std::string FreeMemoryText();
std::string DisplayModeText();
std::string UserNameText();
std::string BuildNumberText();
std::string ServicePackText();
std::string ParametersValue();

// The foreground window's class and text. The text is read without sending
// a message, so a window whose thread is blocked or suspended cannot hang
// the report, and comes in the report's code page.
std::string ForegroundClassText();
std::string ForegroundWindowText();
std::string WindowTextOf(HWND window);

std::string ExceptionTypeText(const void* object);
// The message of an exception object, an access violation's rebuilt from
// its readable system record.
std::string ExceptionMessageText(const void* object, uintptr_t address, const EXCEPTION_RECORD* record);

}  // namespace RevavaRez
