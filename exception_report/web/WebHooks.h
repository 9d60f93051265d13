#pragma once
// What a web host's program writes to its client, kept as the last HTML
// page: a CGI program's standard output through the "WriteFile" hook, an
// ISAPI extension's client writes through its entry's hook.
#include <windows.h>
// After windows.h, which it needs.
#include <httpext.h>

#include <string>
#include <vector>

namespace RevavaRez {

// WriteFile's own signature. Always calls kernel32's routine.
BOOL WINAPI WriteFileHook(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                          LPOVERLAPPED overlapped);
// Hooks kernel32.dll's "WriteFile" in the modules of those names (one not
// loaded, or not importing it, is skipped), after EHookInit; the hooking
// engine's shut-down undoes it.
void InstallWriteFileHook(const std::vector<std::string>& modules);

// The ISAPI entry's replacement: keeps the control block, puts the
// write-client replacement in its place, then runs the original entry.
DWORD WINAPI HttpExtensionProcHook(EXTENSION_CONTROL_BLOCK* block);
// Keeps at most the bytes given, up to a zero among them, unless the
// library writes its own page; then calls the block's own routine.
BOOL WINAPI WriteClientHook(HCONN connection, LPVOID buffer, LPDWORD bytes, DWORD reserved);
// Code-hooks this module's "HttpExtensionProc" export, when it has one,
// after EHookInit. False when it has none; the engine's errors reach the
// caller.
bool InstallHttpExtensionProcHook();

// The bytes a write-client call keeps: at most count, stopping at a zero.
std::string ClientBytes(const void* buffer, DWORD count);

}  // namespace RevavaRez
