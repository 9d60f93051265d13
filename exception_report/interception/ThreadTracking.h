#pragma once
// Every thread of the process in the library's thread list: the hooks of
// thread creation, resumption and exit, and the start routines the hooked
// creation puts in place of the caller's.
#include <windows.h>

#include <cstdint>

namespace RevavaRez {

struct ThreadRecord;

// The hooks' bodies, with their routines' signatures.
HANDLE WINAPI CreateThreadHook(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                               void* parameter, DWORD flags, DWORD* threadID);
DWORD WINAPI ResumeThreadHook(HANDLE thread);
void WINAPI ExitThreadHook(DWORD exitCode);

using TCreateThread = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, void*, DWORD, DWORD*);
using TResumeThread = DWORD(WINAPI*)(HANDLE);
using TExitThread = void(WINAPI*)(DWORD);
// Fetched from kernel32.dll by name when null.
extern TCreateThread OriginalCreateThread;
extern TResumeThread OriginalResumeThread;
extern TExitThread OriginalExitThread;

// The start routines: of a thread the hook found no run-time routine for,
// of a run-time thread, and the Execute put into a framework thread class.
DWORD WINAPI RawThreadStart(void* block);
DWORD WINAPI RtlThreadStart(void* parameter);
void ThreadStartWrapper(void* threadObject);

// The bodies of the exports through which a library module hands its
// threads to the main module.
void CallCreateThread(const ThreadRecord* record);
void CallResumeThread(HANDLE thread, const ThreadRecord* record);
void CallExitThread();

}  // namespace RevavaRez
