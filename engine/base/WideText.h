#pragma once
// Wide-text operations that ignore letter case by the Unicode character
// data carried in this module's "UNICODE" resources, rather than by the
// system's tables, so that every Windows version gives the same answers.
#include <windows.h>

#include <string>

// Set once at load time: the system is of the NT family; it is Windows XP
// (5.1) or later.
extern const bool UnicodePlatformFlag;
extern const bool XPOrLaterFlag;

enum TWideReplaceFlag : unsigned {
  rfReplaceAll = 1,
  rfIgnoreCase = 2,
};

// Every UTF-16 unit replaced by its upper-case form.
std::wstring WideUpperCase(const std::wstring& S);

// 1-based position of SubStr in S with letter case ignored; 0 when absent
// or when SubStr is empty.
size_t WidePosText(const std::wstring& SubStr, const std::wstring& S);

// Result := S with OldPattern replaced by NewPattern. Flags: rfReplaceAll
// replaces every occurrence instead of the first, rfIgnoreCase matches in
// any letter case (untouched text keeps its own case). WholeWord only
// replaces matches with a word separator on both sides. An empty
// OldPattern matches nothing.
void WideStringReplace(const std::wstring& S, const std::wstring& OldPattern, const std::wstring& NewPattern,
                       std::wstring& Result, bool WholeWord, unsigned Flags);

// Character 0, white space, controls, punctuation other than connectors,
// and symbols.
bool IsWordSeparator(wchar_t C);

// The last character of S; 0 when S is empty.
wchar_t LastWideChar(const std::wstring& S);

// Compares by Locale with letter case ignored: -1, 0 or 1. The way is chosen
// once at load time: CompareStringW on the NT family, else CompareStringA
// on the texts converted to the locale's ANSI code page. Raises Exception
// when the system cannot compare.
int WideCompareText(LCID Locale, const std::wstring& S1, const std::wstring& S2);
// The two ways, each callable on its own.
int WideCompareTextW(LCID Locale, const std::wstring& S1, const std::wstring& S2);
int WideCompareTextA(LCID Locale, const std::wstring& S1, const std::wstring& S2);
