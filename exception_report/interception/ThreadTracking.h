#pragma once
// Every thread of the process in the library's thread list: the hooks of
// thread creation, resumption and exit, and the start routines the hooked
// creation puts in place of the caller's.
#include <windows.h>

#include <cstdint>

namespace RevavaRez {

struct ThreadRecord;

// A framework thread's Execute is a method: on i686 its object comes in ECX.
#if defined(__i386__)
#define BRX_METHOD_CALL __attribute__((thiscall))
#else
#define BRX_METHOD_CALL
#endif

// The hooks' bodies, with their routines' signatures.
HANDLE WINAPI CreateThreadHook(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                               void* parameter, DWORD flags, DWORD* threadID);
DWORD WINAPI ResumeThreadHook(HANDLE thread);
void WINAPI ExitThreadHook(DWORD exitCode);

using TCreateThread = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, void*, DWORD,
                                      DWORD*);
using TResumeThread = DWORD(WINAPI*)(HANDLE);
using TExitThread = void(WINAPI*)(DWORD);
// Fetched from kernel32.dll by name when null.
extern TCreateThread OriginalCreateThread;
extern TResumeThread OriginalResumeThread;
extern TExitThread OriginalExitThread;

// A reference on this module for a thread it starts, so that an unload
// waits for the thread's end: given back with FreeLibraryAndExitThread.
// Null in the main program, which stays loaded anyway.
HMODULE ReferenceThisLibrary();

// Resumes past the hook, for the library's own short suspensions of a
// thread (to read its context and stack): the hook allocates and takes
// the list's lock, which the suspended thread may hold.
DWORD ResumeThreadUntracked(HANDLE thread);

// What the run-time's thread wrapper (Interception.ThreadWrapper) gets as
// its parameter and calls: the thread function with its parameter. When the
// function is the framework's thread procedure, the parameter is the thread
// object, whose class has Execute in virtual slot 1.
struct TRuntimeThreadStart {
  LPTHREAD_START_ROUTINE Function;
  void* Parameter;
};
constexpr int kExecuteSlot = 1;
// The exception a debugger's thread naming raises: not an error.
constexpr DWORD kThreadNamingCode = 0x406D1388;

// The start routines: of a thread the hook found no run-time routine for
// (its parameter a block of the hook's own), of a run-time thread, and the
// Execute put into a framework thread class.
DWORD WINAPI RawThreadStart(void* block);
DWORD WINAPI RtlThreadStart(void* parameter);
void BRX_METHOD_CALL ThreadStartWrapper(void* threadObject);

// A framework thread's "OnException" event (thread, exception object), and
// the library's handler that ThreadStartWrapper puts into it; it calls the
// handler it replaced when the processing passes the exception on.
using TThreadExceptionEvent = void (*)(void* thread, void* exception);
void ThreadExceptionEvent(void* thread, void* exception);

// The bodies of the exports through which a library module hands its
// threads to the main module.
void CallCreateThread(const ThreadRecord* record);
void CallResumeThread(HANDLE thread, const ThreadRecord* record);
void CallExitThread();

}  // namespace RevavaRez
