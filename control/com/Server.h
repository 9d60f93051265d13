#pragma once
// The control library as an in-process COM server: the facts its class is
// registered under, shared by the registration exports and the control.
#include <windows.h>

#include <string>

// Stored beside the class identifier; containers find the control by it.
constexpr wchar_t kBrindoluxProgID[] = L"BrindoluxTLB.BrindoluxCtrl";
constexpr wchar_t kBrindoluxDescription[] = L"Zephyrcastor Brindolux Control";
// OLEMISC_SIMPLEFRAME | OLEMISC_ACTSLIKELABEL.
constexpr DWORD kBrindoluxMiscStatus = 0x12000;
// Resource identifiers of the module's toolbox picture and type library.
constexpr int kToolboxBitmapResource = 1;
constexpr int kTypeLibResource = 1;

// The module (Brindolux.ocx, or the program that links the server code)
// and its full path.
HMODULE ServerModule();
std::wstring ServerModulePath();
