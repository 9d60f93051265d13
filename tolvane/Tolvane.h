#pragma once
// Tolvane.dll: the maker's small outside library, of which the player uses
// one function. This build stands in for it.
//
// IntToTime(Seconds) answers the text "hh:mm:ss" for a whole number of
// seconds: hours, minutes and seconds of two digits each (hours grow past
// two digits from 100 hours on), with a leading "-" for a negative count.
//
// Calling convention and ownership: __stdcall, exported undecorated. The
// answer is a zero-terminated wide string that the library owns: it lives
// in a buffer of the calling thread and stays valid until that thread's
// next call. The caller copies it and never frees it, so callers built with
// another run-time library have nothing to release.
#ifdef TOLVANE_BUILD
#define TOLVANE_API extern "C" __declspec(dllexport)
#else
#define TOLVANE_API extern "C" __declspec(dllimport)
#endif

TOLVANE_API const wchar_t* __stdcall IntToTime(int Seconds);
