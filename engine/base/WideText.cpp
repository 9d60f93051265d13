#include "base/WideText.h"

#include <atomic>
#include <climits>
#include <memory>
#include <mutex>
#include <string>

#include "base/Exception.h"
#include "base/unicode/UnicodeTables.h"

namespace {

OSVERSIONINFOW QueryVersion() {
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof(v);
  if (!GetVersionExW(&v)) v.dwPlatformId = VER_PLATFORM_WIN32_NT;
  return v;
}

const OSVERSIONINFOW gVersion = QueryVersion();

// One lock for loading both tables; once published they are only read.
std::mutex gTablesLock;
std::unique_ptr<TUnicodeTypeTable> gTypeTable;
std::unique_ptr<TUnicodeCaseTable> gCaseTable;
std::atomic<const TUnicodeTypeTable*> gTypeReady{nullptr};
std::atomic<const TUnicodeCaseTable*> gCaseReady{nullptr};

// The resources live in whichever module holds this code: the control
// library when it is linked there, a test program when it is linked there.
template <typename TTable>
TTable LoadTable(const wchar_t* name, const char* shownName) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&QueryVersion), &module))
    throw Exception("Unicode data: module not found");
  HRSRC info = FindResourceW(module, name, L"UNICODE");
  HGLOBAL handle = info ? LoadResource(module, info) : nullptr;
  const void* data = handle ? LockResource(handle) : nullptr;
  if (!data) throw Exception(std::string("Unicode data \"") + shownName + "\" not found");
  return TTable::Parse(data, SizeofResource(module, info));
}

const TUnicodeTypeTable& TypeTable() {
  if (const TUnicodeTypeTable* t = gTypeReady.load(std::memory_order_acquire)) return *t;
  std::lock_guard<std::mutex> lock(gTablesLock);
  if (!gTypeTable) {
    gTypeTable = std::make_unique<TUnicodeTypeTable>(LoadTable<TUnicodeTypeTable>(L"TYPE", "TYPE"));
    gTypeReady.store(gTypeTable.get(), std::memory_order_release);
  }
  return *gTypeTable;
}

const TUnicodeCaseTable& CaseTable() {
  if (const TUnicodeCaseTable* t = gCaseReady.load(std::memory_order_acquire)) return *t;
  std::lock_guard<std::mutex> lock(gTablesLock);
  if (!gCaseTable) {
    gCaseTable = std::make_unique<TUnicodeCaseTable>(LoadTable<TUnicodeCaseTable>(L"CASE", "CASE"));
    gCaseReady.store(gCaseTable.get(), std::memory_order_release);
  }
  return *gCaseTable;
}

wchar_t UpperChar(const TUnicodeTypeTable& types, const TUnicodeCaseTable& cases, wchar_t c) {
  if (types.InCategory(c, ccLu)) return c;
  uint32_t upper = types.InCategory(c, ccLl) ? cases.UpperOfLowerCase(c) : cases.UpperOfOther(c);
  // One unit in, one unit out: a form outside the basic plane would not fit.
  return upper <= 0xFFFF ? static_cast<wchar_t>(upper) : c;
}

int CheckedLength(const std::wstring& s) {
  if (s.size() > static_cast<size_t>(INT_MAX)) throw Exception("Text too long to compare");
  return static_cast<int>(s.size());
}

int CompareAnswer(int answer) {
  if (answer == 0) throw Exception("CompareString failed, error " + std::to_string(GetLastError()));
  return answer - 2;
}

std::string ToCodePage(const std::wstring& s, UINT codePage) {
  const int n = CheckedLength(s);
  if (n == 0) return {};
  int bytes = WideCharToMultiByte(codePage, 0, s.data(), n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, s.data(), n, &out[0], bytes, nullptr, nullptr);
  return out;
}

}  // namespace

const bool UnicodePlatformFlag = gVersion.dwPlatformId == VER_PLATFORM_WIN32_NT;
const bool XPOrLaterFlag = gVersion.dwMajorVersion > 5 ||
                           (gVersion.dwMajorVersion == 5 && gVersion.dwMinorVersion >= 1);

namespace {
// Defined after the flags: it is initialised from them, in this order.
using TCompare = int (*)(LCID, const std::wstring&, const std::wstring&);
const TCompare gCompare = UnicodePlatformFlag ? &WideCompareTextW : &WideCompareTextA;
}  // namespace

std::wstring WideUpperCase(const std::wstring& S) {
  std::wstring out(S);
  if (out.empty()) return out;
  const TUnicodeTypeTable& types = TypeTable();
  const TUnicodeCaseTable& cases = CaseTable();
  for (wchar_t& c : out) c = UpperChar(types, cases, c);
  return out;
}

size_t WidePosText(const std::wstring& SubStr, const std::wstring& S) {
  if (SubStr.empty()) return 0;
  size_t at = WideUpperCase(S).find(WideUpperCase(SubStr));
  return at == std::wstring::npos ? 0 : at + 1;
}

void WideStringReplace(const std::wstring& S, const std::wstring& OldPattern, const std::wstring& NewPattern,
                       std::wstring& Result, bool WholeWord, unsigned Flags) {
  // An empty pattern would match before every character without consuming
  // any, so a replace-all would never end.
  if (OldPattern.empty()) {
    Result = S;
    return;
  }
  const bool ignoreCase = (Flags & rfIgnoreCase) != 0;
  // Upper-casing keeps the length, so positions in the searched copy are
  // positions in S.
  const std::wstring searched = ignoreCase ? WideUpperCase(S) : S;
  const std::wstring pattern = ignoreCase ? WideUpperCase(OldPattern) : OldPattern;
  std::wstring out;
  size_t rest = 0;  // start of the rest in S
  while (rest < S.size()) {
    size_t at = searched.find(pattern, rest);
    if (at == std::wstring::npos) break;
    const size_t end = at + pattern.size();
    if (WholeWord) {
      wchar_t before = at == rest ? LastWideChar(out) : S[at - 1];
      wchar_t after = end < S.size() ? S[end] : L'\0';
      if (!IsWordSeparator(before) || !IsWordSeparator(after)) {
        out.append(S, rest, end - rest);
        rest = end;
        continue;
      }
    }
    out.append(S, rest, at - rest);
    out += NewPattern;
    rest = end;
    if (!(Flags & rfReplaceAll)) break;
  }
  if (rest < S.size()) out.append(S, rest, std::wstring::npos);
  Result = std::move(out);
}

bool IsWordSeparator(wchar_t C) {
  if (C == 0) return true;
  // White space and controls; punctuation and symbols. Connector
  // punctuation (the underscore) joins words, so it is not among them.
  static const int kSeparators[] = {ccZs, ccZl, ccZp, ccCc, ccCf, ccPd, ccPs, ccPe,
                                    ccPi, ccPf, ccPo, ccSm, ccSc, ccSk, ccSo};
  const TUnicodeTypeTable& types = TypeTable();
  for (int category : kSeparators)
    if (types.InCategory(C, category)) return true;
  return false;
}

wchar_t LastWideChar(const std::wstring& S) { return S.empty() ? L'\0' : S.back(); }

int WideCompareTextW(LCID Locale, const std::wstring& S1, const std::wstring& S2) {
  return CompareAnswer(
      CompareStringW(Locale, NORM_IGNORECASE, S1.data(), CheckedLength(S1), S2.data(), CheckedLength(S2)));
}

int WideCompareTextA(LCID Locale, const std::wstring& S1, const std::wstring& S2) {
  UINT codePage = CP_ACP;
  wchar_t text[8];
  if (GetLocaleInfoW(Locale, LOCALE_IDEFAULTANSICODEPAGE, text, 8) > 0) {
    UINT value = static_cast<UINT>(wcstoul(text, nullptr, 10));
    if (value != 0) codePage = value;
  }
  const std::string a = ToCodePage(S1, codePage);
  const std::string b = ToCodePage(S2, codePage);
  return CompareAnswer(CompareStringA(Locale, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                                      static_cast<int>(b.size())));
}

int WideCompareText(LCID Locale, const std::wstring& S1, const std::wstring& S2) {
  return gCompare(Locale, S1, S2);
}
