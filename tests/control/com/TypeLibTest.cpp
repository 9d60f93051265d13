// The control's COM surface as containers see it: the type library read back
// from Brindolux.ocx, and what its registration exports leave in the registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

#include "BrindoluxTLB.h"  // with oleauto.h and olectl.h

namespace {

// {00020430-0000-0000-C000-000000000046}
const GUID kStdOleLibID = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const wchar_t kWorkerThreadHelp[] = L"在工作线程中调用";

std::wstring OcxPath() {
  // The build passes the host path; Wine sees the host's root as drive Z:.
  std::string host = BRX_OCX_PATH;
  std::wstring path = host.size() > 0 && host[0] == '/' ? L"Z:" : L"";
  for (char c : host) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  return path;
}

template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  ~TComPtr() {
    if (FPtr) FPtr->Release();
  }
  T** Receive() { return &FPtr; }
  T* operator->() const { return FPtr; }
  T* Get() const { return FPtr; }

 private:
  T* FPtr = nullptr;
};

std::wstring TakeBstr(BSTR text) {
  std::wstring result = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  return result;
}

std::wstring Name(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
  BSTR name = nullptr;
  info->GetDocumentation(member, &name, nullptr, nullptr, nullptr);
  return TakeBstr(name);
}

std::wstring HelpString(ITypeInfo* info, MEMBERID member = MEMBERID_NIL) {
  BSTR help = nullptr;
  info->GetDocumentation(member, nullptr, &help, nullptr, nullptr);
  return TakeBstr(help);
}

// A type as the IDL spells it: "long", "BSTR", "TStatus", "IFontDisp*", ...
std::wstring TypeName(ITypeInfo* info, const TYPEDESC& type) {
  switch (type.vt) {
    case VT_I2:
      return L"short";
    case VT_I4:
      return L"long";
    case VT_BOOL:
      return L"VARIANT_BOOL";
    case VT_BSTR:
      return L"BSTR";
    case VT_VOID:
      return L"void";
    case VT_HRESULT:
      return L"HRESULT";
    case VT_PTR:
      return TypeName(info, *type.lptdesc) + L"*";
    case VT_USERDEFINED: {
      TComPtr<ITypeInfo> ref;
      if (FAILED(info->GetRefTypeInfo(type.hreftype, ref.Receive()))) return L"<unresolved>";
      return Name(ref.Get());
    }
    default:
      return L"vt" + std::to_wstring(type.vt);
  }
}

// The parameters of a function as "type name, type name"; property values
// carry no name in the comparison, only their type.
std::wstring Parameters(ITypeInfo* info, const FUNCDESC& func, bool withNames) {
  std::vector<BSTR> names(func.cParams + 1);
  UINT count = 0;
  info->GetNames(func.memid, names.data(), static_cast<UINT>(names.size()), &count);
  std::wstring result;
  for (SHORT i = 0; i < func.cParams; ++i) {
    if (i > 0) result += L", ";
    result += TypeName(info, func.lprgelemdescParam[i].tdesc);
    if (withNames && static_cast<UINT>(i + 1) < count) result += L" " + std::wstring(names[i + 1]);
  }
  for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);
  return result;
}

std::string Narrow(const std::wstring& text) {
  std::string result;
  for (wchar_t c : text) result += c < 128 ? static_cast<char>(c) : '?';
  return result;
}

class TypeLibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    // Resource TYPELIB 1 of the control library, named explicitly.
    const std::wstring path = OcxPath() + L"\\1";
    ASSERT_EQ(S_OK, LoadTypeLibEx(path.c_str(), REGKIND_NONE, FLib.Receive())) << Narrow(path);
  }
  void TearDown() override { CoUninitialize(); }

  void Info(REFGUID guid, ITypeInfo** info) { ASSERT_EQ(S_OK, FLib->GetTypeInfoOfGuid(guid, info)); }

  TComPtr<ITypeLib> FLib;
};

TEST_F(TypeLibTest, LibraryAndCoclass) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(S_OK, FLib->GetLibAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(LIBID_BrindoluxTLB, attr->guid));
  EXPECT_EQ(1, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);
  EXPECT_EQ(1033u, attr->lcid);
  EXPECT_EQ(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, attr->syskind);
  FLib->ReleaseTLibAttr(attr);
  BSTR name = nullptr, help = nullptr;
  ASSERT_EQ(S_OK, FLib->GetDocumentation(-1, &name, &help, nullptr, nullptr));
  EXPECT_EQ(L"BrindoluxTLB", TakeBstr(name));
  EXPECT_EQ(L"Zephyrcastor Brindolux ActiveX Control", TakeBstr(help));

  TComPtr<ITypeInfo> coclass;
  Info(CLSID_BrindoluxCtrl, coclass.Receive());
  EXPECT_EQ(L"BrindoluxCtrl", Name(coclass.Get()));
  EXPECT_EQ(L"Zephyrcastor Brindolux Control", HelpString(coclass.Get()));
  TYPEATTR* type = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&type));
  EXPECT_EQ(TKIND_COCLASS, type->typekind);
  EXPECT_EQ(TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL,
            type->wTypeFlags & (TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL));
  const int implCount = type->cImplTypes;
  coclass->ReleaseTypeAttr(type);
  ASSERT_EQ(2, implCount);

  // One default incoming interface and one default source, the ones the
  // control implements and fires.
  struct {
    int Flags;
    const GUID* Guid;
  } const expected[] = {{IMPLTYPEFLAG_FDEFAULT, &IID_IBrindolux},
                        {IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE, &DIID_IBrindoluxEvents}};
  for (int i = 0; i < implCount; ++i) {
    SCOPED_TRACE(i);
    INT flags = 0;
    ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(i, &flags));
    EXPECT_EQ(expected[i].Flags, flags);
    HREFTYPE ref = 0;
    ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(i, &ref));
    TComPtr<ITypeInfo> impl;
    ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(ref, impl.Receive()));
    TYPEATTR* implAttr = nullptr;
    ASSERT_EQ(S_OK, impl->GetTypeAttr(&implAttr));
    EXPECT_TRUE(IsEqualGUID(*expected[i].Guid, implAttr->guid));
    impl->ReleaseTypeAttr(implAttr);
  }
}

enum TKind { kMethod, kGet, kPut };

struct TMember {
  int Slot;
  MEMBERID DispId;
  TKind Kind;
  const wchar_t* Name;
  // Methods: the arguments with their names; properties: the value's type.
  const wchar_t* Type;
  bool Hidden;
};

// Every member of IBrindolux in vtable order: containers that bind early
// call by slot, those that bind late by dispatch identifier.
const TMember kMembers[] = {
    {7, 1, kGet, L"Visible", L"VARIANT_BOOL", true},
    {8, 1, kPut, L"Visible", L"VARIANT_BOOL", true},
    {9, 2, kGet, L"AutoScroll", L"VARIANT_BOOL", false},
    {10, 2, kPut, L"AutoScroll", L"VARIANT_BOOL", false},
    {11, 3, kGet, L"AutoSize", L"VARIANT_BOOL", false},
    {12, 3, kPut, L"AutoSize", L"VARIANT_BOOL", false},
    {13, 4, kGet, L"AxBorderStyle", L"TxActiveFormBorderStyle", false},
    {14, 4, kPut, L"AxBorderStyle", L"TxActiveFormBorderStyle", false},
    {15, -518, kGet, L"Caption", L"BSTR", false},
    {16, -518, kPut, L"Caption", L"BSTR", false},
    {17, -501, kGet, L"Color", L"OLE_COLOR", false},
    {18, -501, kPut, L"Color", L"OLE_COLOR", false},
    {19, -512, kGet, L"Font", L"IFontDisp*", false},
    {20, -512, kPut, L"Font", L"IFontDisp*", false},
    {21, 5, kGet, L"KeyPreview", L"VARIANT_BOOL", false},
    {22, 5, kPut, L"KeyPreview", L"VARIANT_BOOL", false},
    {23, 6, kGet, L"PixelsPerInch", L"long", false},
    {24, 6, kPut, L"PixelsPerInch", L"long", false},
    {25, 7, kGet, L"PrintScale", L"TxPrintScale", false},
    {26, 7, kPut, L"PrintScale", L"TxPrintScale", false},
    {27, 8, kGet, L"Scaled", L"VARIANT_BOOL", false},
    {28, 8, kPut, L"Scaled", L"VARIANT_BOOL", false},
    {29, 9, kGet, L"Active", L"VARIANT_BOOL", true},
    {30, 10, kGet, L"DropTarget", L"VARIANT_BOOL", true},
    {31, 10, kPut, L"DropTarget", L"VARIANT_BOOL", true},
    {32, 11, kGet, L"HelpFile", L"BSTR", true},
    {33, 11, kPut, L"HelpFile", L"BSTR", true},
    {34, 12, kGet, L"DoubleBuffered", L"VARIANT_BOOL", true},
    {35, 12, kPut, L"DoubleBuffered", L"VARIANT_BOOL", true},
    {36, 13, kGet, L"VisibleDockClientCount", L"long", true},
    {37, -514, kGet, L"Enabled", L"VARIANT_BOOL", true},
    {38, -514, kPut, L"Enabled", L"VARIANT_BOOL", true},
    {39, 14, kGet, L"Cursor", L"short", false},
    {40, 14, kPut, L"Cursor", L"short", false},
    {41, 15, kMethod, L"LoadFile", L"BSTR Filename", false},
    {42, 16, kMethod, L"SendScript", L"BSTR Str", false},
    {43, 19, kMethod, L"Open", L"BSTR Filename", false},
    {44, 18, kGet, L"DisplayMode", L"TDisplayMode", false},
    {45, 18, kPut, L"DisplayMode", L"TDisplayMode", false},
    {46, 22, kMethod, L"Play", L"", false},
    {47, 23, kMethod, L"Pause", L"", false},
    {48, 24, kMethod, L"Stop", L"", false},
    {49, 25, kMethod, L"Close", L"", false},
    {50, 26, kMethod, L"FastForward", L"", false},
    {51, 27, kMethod, L"FastReverse", L"", false},
    {52, 28, kGet, L"CurrentPosition", L"long", false},
    {53, 28, kPut, L"CurrentPosition", L"long", false},
    {54, 21, kGet, L"Duration", L"long", false},
    {55, 29, kGet, L"LocalIP", L"BSTR", false},
    {56, 29, kPut, L"LocalIP", L"BSTR", false},
    {57, 201, kGet, L"Max", L"long", false},
    {58, 202, kGet, L"Min", L"long", false},
    {59, 203, kGet, L"FullScreen", L"VARIANT_BOOL", false},
    {60, 203, kPut, L"FullScreen", L"VARIANT_BOOL", false},
    {61, 204, kGet, L"URL", L"BSTR", false},
    {62, 204, kPut, L"URL", L"BSTR", false},
    {63, 205, kGet, L"Status", L"TStatus", false},
    {64, 206, kGet, L"AutoStart", L"VARIANT_BOOL", false},
    {65, 206, kPut, L"AutoStart", L"VARIANT_BOOL", false},
    {66, 207, kGet, L"KRMWidth", L"long", false},
    {67, 208, kGet, L"KRMHeight", L"long", false},
    {68, 209, kGet, L"InitialColor", L"long", false},
    {69, 209, kPut, L"InitialColor", L"long", false},
    {70, 210, kGet, L"Host", L"BSTR", false},
    {71, 211, kGet, L"ChannelName", L"BSTR", false},
    {72, 212, kGet, L"Title", L"BSTR", false},
    {73, 213, kGet, L"Author", L"BSTR", false},
    {74, 214, kGet, L"Copyright", L"BSTR", false},
    {75, 215, kGet, L"Description", L"BSTR", false},
    {76, 216, kGet, L"AutoConnect", L"VARIANT_BOOL", false},
    {77, 216, kPut, L"AutoConnect", L"VARIANT_BOOL", false},
    {78, 217, kMethod, L"Request", L"BSTR Command", false},
    {79, 218, kGet, L"MediaTime", L"long", false},
    {80, 219, kGet, L"EnableCache", L"VARIANT_BOOL", false},
    {81, 219, kPut, L"EnableCache", L"VARIANT_BOOL", false},
    {82, 220, kGet, L"bgColor", L"BSTR", false},
    {83, 220, kPut, L"bgColor", L"BSTR", false},
    {84, 221, kGet, L"ContextMenu", L"VARIANT_BOOL", false},
    {85, 221, kPut, L"ContextMenu", L"VARIANT_BOOL", false},
    {86, 222, kGet, L"IgnoreTimestamp", L"VARIANT_BOOL", false},
    {87, 222, kPut, L"IgnoreTimestamp", L"VARIANT_BOOL", false},
};

TEST_F(TypeLibTest, DualInterfaceMembersInVtableOrder) {
  // For a dual interface the library hands out its dispatch view; the
  // vtable view is its implemented type -1.
  TComPtr<ITypeInfo> dispatch;
  Info(IID_IBrindolux, dispatch.Receive());
  HREFTYPE vtableRef = 0;
  ASSERT_EQ(S_OK, dispatch->GetRefTypeOfImplType(-1, &vtableRef));
  TComPtr<ITypeInfo> vtable;
  ASSERT_EQ(S_OK, dispatch->GetRefTypeInfo(vtableRef, vtable.Receive()));

  EXPECT_EQ(L"Dispatch interface for Brindolux Control", HelpString(vtable.Get()));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attr));
  EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
  EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION,
            attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION));
  const int funcCount = attr->cFuncs;
  vtable->ReleaseTypeAttr(attr);
  ASSERT_EQ(static_cast<int>(std::size(kMembers)), funcCount);

  // Derived from IDispatch, which ends at slot 6.
  HREFTYPE baseRef = 0;
  ASSERT_EQ(S_OK, vtable->GetRefTypeOfImplType(0, &baseRef));
  TComPtr<ITypeInfo> base;
  ASSERT_EQ(S_OK, vtable->GetRefTypeInfo(baseRef, base.Receive()));
  EXPECT_EQ(L"IDispatch", Name(base.Get()));

  for (int i = 0; i < funcCount; ++i) {
    const TMember& want = kMembers[i];
    SCOPED_TRACE(Narrow(want.Name) + " slot " + std::to_string(want.Slot));
    FUNCDESC* func = nullptr;
    ASSERT_EQ(S_OK, vtable->GetFuncDesc(i, &func));
    EXPECT_EQ(want.Slot * static_cast<int>(sizeof(void*)), func->oVft);
    EXPECT_EQ(want.DispId, func->memid);
    EXPECT_EQ(want.Name, Name(vtable.Get(), func->memid));
    const INVOKEKIND kinds[] = {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT};
    EXPECT_EQ(kinds[want.Kind], func->invkind);
    EXPECT_EQ(want.Hidden, (func->wFuncFlags & FUNCFLAG_FHIDDEN) != 0);
    EXPECT_EQ(VT_HRESULT, func->elemdescFunc.tdesc.vt);
    EXPECT_EQ(CC_STDCALL, func->callconv);
    if (want.Kind == kMethod) {
      EXPECT_EQ(want.Type, Parameters(vtable.Get(), *func, true));
    } else {
      // The value travels as the one argument: in for put, out-retval for get.
      ASSERT_EQ(1, func->cParams);
      const USHORT flags = func->lprgelemdescParam[0].paramdesc.wParamFlags;
      if (want.Kind == kGet) {
        EXPECT_EQ(std::wstring(want.Type) + L"*", Parameters(vtable.Get(), *func, false));
        EXPECT_EQ(PARAMFLAG_FOUT | PARAMFLAG_FRETVAL,
                  flags & (PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FRETVAL));
      } else {
        EXPECT_EQ(want.Type, Parameters(vtable.Get(), *func, false));
        EXPECT_EQ(PARAMFLAG_FIN, flags & (PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FRETVAL));
      }
    }
    vtable->ReleaseFuncDesc(func);

    // Late binding finds the same identifier by name.
    LPOLESTR name = const_cast<LPOLESTR>(want.Name);
    MEMBERID byName = 0;
    ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(&name, 1, &byName));
    EXPECT_EQ(want.DispId, byName);
  }
}

TEST_F(TypeLibTest, FontAndColourComeFromStdOle) {
  TComPtr<ITypeInfo> dispatch;
  Info(IID_IBrindolux, dispatch.Receive());
  HREFTYPE vtableRef = 0;
  ASSERT_EQ(S_OK, dispatch->GetRefTypeOfImplType(-1, &vtableRef));
  TComPtr<ITypeInfo> vtable;
  ASSERT_EQ(S_OK, dispatch->GetRefTypeInfo(vtableRef, vtable.Receive()));
  // Slots 17 (Color get) and 19 (Font get) are the 11th and 13th functions.
  for (int index : {10, 12}) {
    FUNCDESC* func = nullptr;
    ASSERT_EQ(S_OK, vtable->GetFuncDesc(index, &func));
    const TYPEDESC* type = &func->lprgelemdescParam[0].tdesc;
    while (type->vt == VT_PTR) type = type->lptdesc;
    ASSERT_EQ(VT_USERDEFINED, type->vt);
    TComPtr<ITypeInfo> ref;
    ASSERT_EQ(S_OK, vtable->GetRefTypeInfo(type->hreftype, ref.Receive()));
    vtable->ReleaseFuncDesc(func);
    SCOPED_TRACE(Narrow(Name(ref.Get())));
    TComPtr<ITypeLib> owner;
    UINT ownerIndex = 0;
    ASSERT_EQ(S_OK, ref->GetContainingTypeLib(owner.Receive(), &ownerIndex));
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, owner->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(kStdOleLibID, attr->guid));
    owner->ReleaseTLibAttr(attr);
  }
}

struct TEvent {
  MEMBERID DispId;
  const wchar_t* Name;
  const wchar_t* Result;
  const wchar_t* Arguments;
  bool WorkerThread;
};

const TEvent kEvents[] = {
    {1, L"OnActivate", L"void", L"", false},
    {2, L"OnClick", L"void", L"", false},
    {3, L"OnCreate", L"void", L"", false},
    {5, L"OnDblClick", L"void", L"", false},
    {6, L"OnDestroy", L"void", L"", false},
    {7, L"OnDeactivate", L"void", L"", false},
    {11, L"OnKeyPress", L"void", L"short* Key", false},
    {16, L"OnPaint", L"void", L"", false},
    {4, L"OnSkip", L"HRESULT", L"long Seconds", false},
    {201, L"OnPlayStateChanged", L"HRESULT", L"TStatus NewState", false},
    {202, L"OnPositionChanged", L"HRESULT", L"long NewPosition", false},
    {203, L"OnDisplayModeChanged", L"HRESULT", L"TDisplayMode NewMode", false},
    {204, L"OnScript", L"HRESULT", L"BSTR Script", true},
    {205, L"OnIndex", L"HRESULT", L"BSTR Index", true},
    {206, L"OnStreamSample", L"HRESULT", L"long Data", true},
    {207, L"OnString", L"HRESULT", L"BSTR Str", false},
    {208, L"OnMouseDown", L"HRESULT", L"long Button, long x, long y", false},
    {209, L"OnMouseMove", L"HRESULT", L"long x, long y", false},
    {210, L"OnMouseUp", L"HRESULT", L"long Button, long x, long y", false},
};

// Type library strings are byte text read in the system code page; the
// Chinese help string must be stored as GBK so that Chinese systems show it.
std::wstring AsGBK(const std::wstring& readBack) {
  const int bytes = WideCharToMultiByte(CP_ACP, 0, readBack.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string raw(bytes, '\0');
  WideCharToMultiByte(CP_ACP, 0, readBack.c_str(), -1, &raw[0], bytes, nullptr, nullptr);
  const int chars = MultiByteToWideChar(936, 0, raw.c_str(), -1, nullptr, 0);
  std::wstring text(chars, L'\0');
  MultiByteToWideChar(936, 0, raw.c_str(), -1, &text[0], chars);
  text.resize(chars > 0 ? chars - 1 : 0);
  return text;
}

TEST_F(TypeLibTest, EventsInterface) {
  TComPtr<ITypeInfo> events;
  Info(DIID_IBrindoluxEvents, events.Receive());
  EXPECT_EQ(L"IBrindoluxEvents", Name(events.Get()));
  EXPECT_EQ(L"Events interface for Brindolux Control", HelpString(events.Get()));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, events->GetTypeAttr(&attr));
  EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
  EXPECT_EQ(0, attr->wTypeFlags & TYPEFLAG_FDUAL);
  const int funcCount = attr->cFuncs;
  events->ReleaseTypeAttr(attr);

  const bool chineseSystem =
      std::getenv("BRX_EXPECT_LANG") && std::string(std::getenv("BRX_EXPECT_LANG")) == "zh_CN";
  std::set<MEMBERID> seen;
  size_t e = 0;
  for (int i = 0; i < funcCount; ++i) {
    FUNCDESC* func = nullptr;
    ASSERT_EQ(S_OK, events->GetFuncDesc(i, &func));
    if (func->memid >= 0x60000000 && func->memid < 0x60020000) {
      events->ReleaseFuncDesc(func);  // IDispatch's own functions
      continue;
    }
    ASSERT_LT(e, std::size(kEvents));
    const TEvent& want = kEvents[e++];
    SCOPED_TRACE(Narrow(want.Name));
    EXPECT_EQ(want.DispId, func->memid);
    EXPECT_EQ(want.Name, Name(events.Get(), func->memid));
    EXPECT_EQ(INVOKE_FUNC, func->invkind);
    EXPECT_EQ(FUNC_DISPATCH, func->funckind);
    EXPECT_EQ(want.Result, TypeName(events.Get(), func->elemdescFunc.tdesc));
    EXPECT_EQ(want.Arguments, Parameters(events.Get(), *func, true));
    if (std::wstring(want.Name) == L"OnKeyPress") {
      // The container may replace the key: the argument goes both ways.
      EXPECT_EQ(PARAMFLAG_FIN | PARAMFLAG_FOUT, func->lprgelemdescParam[0].paramdesc.wParamFlags);
    }
    const std::wstring help = HelpString(events.Get(), func->memid);
    if (want.WorkerThread) {
      EXPECT_EQ(kWorkerThreadHelp, AsGBK(help));
      if (chineseSystem) {
        EXPECT_EQ(kWorkerThreadHelp, help);
      }
    } else {
      EXPECT_EQ(L"", help);
    }
    seen.insert(func->memid);
    events->ReleaseFuncDesc(func);
  }
  // Every event once, none missing: dispatch identifiers are what sinks switch on.
  EXPECT_EQ(std::size(kEvents), seen.size());
}

struct TEnum {
  const wchar_t* Name;
  const wchar_t* Help;
  std::vector<std::pair<const wchar_t*, int>> Values;
};

TEST_F(TypeLibTest, Enumerations) {
  const TEnum enums[] = {
      {L"TStatus",
       L"Zephyrcastor Brindolux Status",
       {{L"bxClosed", 0},
        {L"bxOpened", 1},
        {L"bxPlaying", 2},
        {L"bxPaused", 3},
        {L"bxStopped", 4},
        {L"bxScanForward", 5},
        {L"bxScanReverse", 6},
        {L"bxOpening", 7},
        {L"bxSeeking", 8}}},
      {L"TDisplayMode",
       L"KRM Content Display Mode",
       {{L"dmAdaptive", 0}, {L"dmFull", 1}, {L"dmOriginal", 2}}},
      {L"TxActiveFormBorderStyle",
       L"",
       {{L"afbNone", 0}, {L"afbSingle", 1}, {L"afbSunken", 2}, {L"afbRaised", 3}}},
      {L"TxPrintScale", L"", {{L"poNone", 0}, {L"poProportional", 1}, {L"poPrintToFit", 2}}},
  };
  std::set<std::wstring> guids;
  for (const TEnum& want : enums) {
    SCOPED_TRACE(Narrow(want.Name));
    ITypeInfo* found[2] = {};
    MEMBERID ids[2] = {};
    USHORT count = 2;
    std::wstring name = want.Name;
    ASSERT_EQ(S_OK, FLib->FindName(&name[0], 0, found, ids, &count));
    ASSERT_GE(count, 1);
    TComPtr<ITypeInfo> info;
    *info.Receive() = found[0];
    for (USHORT i = 1; i < count; ++i) found[i]->Release();

    EXPECT_EQ(want.Help, HelpString(info.Get()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_ENUM, attr->typekind);
    EXPECT_FALSE(IsEqualGUID(GUID_NULL, attr->guid));
    wchar_t guid[40];
    StringFromGUID2(attr->guid, guid, 40);
    guids.insert(guid);
    const int varCount = attr->cVars;
    info->ReleaseTypeAttr(attr);
    ASSERT_EQ(static_cast<int>(want.Values.size()), varCount);
    for (int i = 0; i < varCount; ++i) {
      VARDESC* var = nullptr;
      ASSERT_EQ(S_OK, info->GetVarDesc(i, &var));
      EXPECT_EQ(want.Values[i].first, Name(info.Get(), var->memid));
      ASSERT_EQ(VAR_CONST, var->varkind);
      VARIANT value;
      VariantInit(&value);
      ASSERT_EQ(S_OK, VariantChangeType(&value, var->lpvarValue, 0, VT_I4));
      EXPECT_EQ(want.Values[i].second, V_I4(&value));
      info->ReleaseVarDesc(var);
    }
  }
  EXPECT_EQ(4u, guids.size());
}

// Registration runs against a private copy of HKEY_CLASSES_ROOT so that the
// test neither depends on nor disturbs what other tests registered.
class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    FRoot = L"Software\\Brindolux Tests\\Classes " + std::to_wstring(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, FRoot.c_str());
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, FRoot.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &FClasses, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, FClasses));
    FModule = LoadLibraryW(OcxPath().c_str());
    ASSERT_NE(nullptr, FModule) << GetLastError();
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(FModule, path, MAX_PATH * 2);
    ASSERT_GT(length, 0u);
    FPath.assign(path, length);
  }
  void TearDown() override {
    if (FModule) FreeLibrary(FModule);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    if (FClasses) RegCloseKey(FClasses);
    RegDeleteTreeW(HKEY_CURRENT_USER, FRoot.c_str());
    CoUninitialize();
  }

  HRESULT Call(const char* name) {
    auto entry =
        reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(FModule, name)));
    return entry ? entry() : E_NOTIMPL;
  }

  bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(FClasses, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
  }

  // The value's text, or "<missing>".
  std::wstring Value(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t data[1024];
    DWORD bytes = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegGetValueW(FClasses, key.c_str(), name, RRF_RT_REG_SZ, &type, data, &bytes) != ERROR_SUCCESS)
      return L"<missing>";
    return std::wstring(data);
  }

  static std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
  }

  static std::wstring Guid(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
  }

  std::wstring FRoot;
  HKEY FClasses = nullptr;
  HMODULE FModule = nullptr;
  std::wstring FPath;
};

TEST_F(RegistrationTest, RegisterWritesClassProgIDAndTypeLibUnregisterRemovesThem) {
  for (const char* name :
       {"DllRegisterServer", "DllUnregisterServer", "DllGetClassObject", "DllCanUnloadNow"}) {
    EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(FModule, name))) << name;
  }

  ASSERT_EQ(S_OK, Call("DllRegisterServer"));
  const std::wstring clsid = L"CLSID\\" + Guid(CLSID_BrindoluxCtrl);
  const std::wstring libid = Guid(LIBID_BrindoluxTLB);
  const std::wstring lib = L"TypeLib\\" + libid + L"\\1.0";
  // The locale key is the library's locale in hexadecimal.
  const std::wstring win = sizeof(void*) == 8 ? L"\\409\\win64" : L"\\409\\win32";
  struct {
    std::wstring Key;
    const wchar_t* Name;
    std::wstring Data;
  } const expected[] = {
      {clsid, nullptr, L"Zephyrcastor Brindolux Control"},
      {clsid + L"\\InprocServer32", nullptr, Lower(FPath)},
      {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {clsid + L"\\ProgID", nullptr, L"BrindoluxTLB.BrindoluxCtrl"},
      {clsid + L"\\Control", nullptr, L""},
      {clsid + L"\\MiscStatus", nullptr, L"73728"},
      {clsid + L"\\MiscStatus\\1", nullptr, L"73728"},
      {clsid + L"\\ToolboxBitmap32", nullptr, Lower(FPath) + L",1"},
      {clsid + L"\\TypeLib", nullptr, libid},
      {clsid + L"\\Version", nullptr, L"1.0"},
      {L"BrindoluxTLB.BrindoluxCtrl", nullptr, L"Zephyrcastor Brindolux Control"},
      {L"BrindoluxTLB.BrindoluxCtrl\\CLSID", nullptr, Guid(CLSID_BrindoluxCtrl)},
      {lib, nullptr, L"Zephyrcastor Brindolux ActiveX Control"},
      {lib + win, nullptr, Lower(FPath)},
      {L"Interface\\" + Guid(IID_IBrindolux) + L"\\TypeLib", nullptr, libid},
      {L"Interface\\" + Guid(DIID_IBrindoluxEvents) + L"\\TypeLib", nullptr, libid},
  };
  for (const auto& want : expected) {
    SCOPED_TRACE(Narrow(want.Key) + " " + (want.Name ? Narrow(want.Name) : std::string("(default)")));
    const std::wstring got = Value(want.Key, want.Name);
    // Paths are compared without regard to case, as Windows does.
    const bool isPath = want.Data.find(L":\\") != std::wstring::npos;
    EXPECT_EQ(Narrow(want.Data), Narrow(isPath ? Lower(got) : got));
  }

  // What a container does with it: load the registered type library and
  // the toolbox picture.
  TComPtr<ITypeLib> registered;
  EXPECT_EQ(S_OK, LoadRegTypeLib(LIBID_BrindoluxTLB, 1, 0, 1033, registered.Receive()));
  HBITMAP toolbox = static_cast<HBITMAP>(LoadImageW(FModule, MAKEINTRESOURCEW(1), IMAGE_BITMAP, 0, 0, 0));
  ASSERT_NE(nullptr, toolbox);
  BITMAP bitmap = {};
  GetObjectW(toolbox, sizeof(bitmap), &bitmap);
  EXPECT_EQ(24, bitmap.bmWidth);
  EXPECT_EQ(24, bitmap.bmHeight);
  DeleteObject(toolbox);

  // Registering again over an existing registration succeeds and changes nothing.
  EXPECT_EQ(S_OK, Call("DllRegisterServer"));
  EXPECT_EQ(L"Apartment", Value(clsid + L"\\InprocServer32", L"ThreadingModel"));

  ASSERT_EQ(S_OK, Call("DllUnregisterServer"));
  for (const std::wstring& key :
       {clsid, std::wstring(L"BrindoluxTLB.BrindoluxCtrl"), L"TypeLib\\" + libid,
        L"Interface\\" + Guid(IID_IBrindolux), L"Interface\\" + Guid(DIID_IBrindoluxEvents)}) {
    EXPECT_FALSE(KeyExists(key)) << Narrow(key);
  }
  // Unregistering what is no longer there is not a failure.
  EXPECT_EQ(S_OK, Call("DllUnregisterServer"));
}

}  // namespace
