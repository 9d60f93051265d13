// The control as a container meets it: registered by its own exports,
// created through COM by class identifier and ProgID, hosted in place by the
// program's container site, driven through its dual interface and through
// IDispatch, saved and loaded, and released until the library may unload.
// clang-format off
#include <winsock2.h>  // before windows.h, for the live peer
// clang-format on
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "BrindoluxTLB.h"
#include "ControlHost.h"
#include "EventRecorder.h"
#include "KrmWriter.h"
#include "LivePeer.h"
#include "MessageBoxWatchdog.h"
#include "PumpUntil.h"
#include "WindowShot.h"
#include "ole/ComPtr.h"

namespace {

constexpr DISPID kOnActivate = 1;
constexpr DISPID kOnDeactivate = 7;
constexpr DISPID kOnPlayStateChanged = 201;
constexpr DISPID kOnSkip = 4;
constexpr DWORD kWaitMs = 5000;

std::wstring OcxPath() {
  // The build passes the host path; Wine sees the host's root as drive Z:.
  std::string host = BRX_OCX_PATH;
  std::wstring path = host.size() > 0 && host[0] == '/' ? L"Z:" : L"";
  for (char c : host) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  return path;
}

std::wstring TakeBstr(BSTR text) {
  std::wstring result = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  return result;
}

class TBstr {
 public:
  explicit TBstr(const std::wstring& text) : FText(SysAllocStringLen(text.data(), UINT(text.size()))) {}
  ~TBstr() { SysFreeString(FText); }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  operator BSTR() const { return FText; }

 private:
  BSTR FText;
};

std::wstring ErrorDescription() {
  TComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Receive()) != S_OK) return L"<no error info>";
  BSTR description = nullptr;
  info->GetDescription(&description);
  return TakeBstr(description);
}

std::string TempFile(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + name;
}

using TDllCanUnloadNow = HRESULT(STDAPICALLTYPE*)();
using TDllGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using TServerFunction = HRESULT(STDAPICALLTYPE*)();

template <class TFunction>
TFunction Export(HMODULE module, const char* name) {
  // Through the generic function type, which the compiler lets any
  // function pointer pass.
  return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class ComControlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    FModule = LoadLibraryW(OcxPath().c_str());
    ASSERT_NE(nullptr, FModule);
    auto reg = Export<TServerFunction>(FModule, "DllRegisterServer");
    ASSERT_NE(nullptr, reg);
    ASSERT_EQ(S_OK, reg());
    // One container window for all: taking a shown top-level window down
    // costs seconds under a display without a window manager.
    FParent = CreateWindowExW(0, L"STATIC", L"container", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN,
                              0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, FParent);
  }

  static void TearDownTestSuite() {
    if (FParent) DestroyWindow(FParent);
    if (FModule) {
      auto unreg = Export<TServerFunction>(FModule, "DllUnregisterServer");
      if (unreg) unreg();
      FreeLibrary(FModule);
    }
    CoUninitialize();
  }

  void TearDown() override {
    FHost.Release();
    PumpPending();
    EXPECT_EQ(std::vector<std::wstring>(), FWatchdog.TakeDismissed()) << "message boxes nobody expected";
  }

  static HRESULT CanUnloadNow() { return Export<TDllCanUnloadNow>(FModule, "DllCanUnloadNow")(); }

  static HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return Export<TDllGetClassObject>(FModule, "DllGetClassObject")(clsid, iid, object);
  }

  void Host(IStream* state = nullptr) {
    ASSERT_EQ(S_OK, FHost.Create(CLSID_BrindoluxCtrl, FParent, FBounds, state));
    ASSERT_EQ(S_OK, FHost.Query(FControl));
  }

  void Connect() {
    ASSERT_EQ(S_OK, FHost.ConnectEvents(DIID_IBrindoluxEvents, [this](DISPID dispid, DISPPARAMS& params) {
      FEvents.Record(dispid, params);
    }));
  }

  // A property read by name through IDispatch, as a long.
  LONG DispatchGet(const wchar_t* name) {
    DISPID dispid = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    EXPECT_EQ(S_OK, FHost.Dispatch()->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid))
        << name;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(S_OK, FHost.Dispatch()->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                             &none, &result, nullptr, nullptr))
        << name;
    EXPECT_EQ(S_OK, VariantChangeType(&result, &result, 0, VT_I4)) << name;
    const LONG value = result.lVal;
    VariantClear(&result);
    return value;
  }

  static HMODULE FModule;
  TMessageBoxWatchdog FWatchdog;
  static HWND FParent;
  RECT FBounds{10, 20, 330, 260};
  TControlHost FHost;
  TComPtr<IBrindolux> FControl;
  TEventRecorder FEvents;
};

HMODULE ComControlTest::FModule = nullptr;
HWND ComControlTest::FParent = nullptr;

TEST_F(ComControlTest, CreatedByClassAndProgIDAndActivatedInPlace) {
  CLSID byProgID{};
  ASSERT_EQ(S_OK, CLSIDFromProgID(L"BrindoluxTLB.BrindoluxCtrl", &byProgID));
  EXPECT_TRUE(IsEqualCLSID(CLSID_BrindoluxCtrl, byProgID));
  TComPtr<IBrindolux> byName;
  ASSERT_EQ(S_OK,
            CoCreateInstance(byProgID, nullptr, CLSCTX_INPROC_SERVER, IID_IBrindolux, byName.ReceiveVoid()));
  byName.Reset();

  Host();
  const HWND window = FHost.Window();
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(FParent, GetParent(window));
  EXPECT_TRUE(IsWindowVisible(window));
  RECT placed{};
  GetWindowRect(window, &placed);
  MapWindowPoints(nullptr, FParent, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_TRUE(EqualRect(&FBounds, &placed));

  const RECT moved{5, 5, 205, 105};
  ASSERT_EQ(S_OK, FHost.SetBounds(moved));
  GetWindowRect(window, &placed);
  MapWindowPoints(nullptr, FParent, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_TRUE(EqualRect(&moved, &placed));

  // Deactivated, the window lives on (the engine posts to it), parked and
  // hidden outside the container's window.
  TComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(S_OK, FHost.Query(inPlace));
  ASSERT_EQ(S_OK, inPlace->InPlaceDeactivate());
  EXPECT_TRUE(IsWindow(window));
  EXPECT_NE(FParent, GetParent(window));
  EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(ComControlTest, UIActivationTakesTheFocusAndMakesTheFormActive) {
  Host();
  Connect();
  const HWND window = FHost.Window();
  VARIANT_BOOL active = VARIANT_TRUE;
  ASSERT_EQ(S_OK, FControl->get_Active(&active));
  EXPECT_EQ(VARIANT_FALSE, active);
  ASSERT_EQ(S_OK, FHost.Object()->DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, 0, FParent, &FBounds));
  ASSERT_EQ(S_OK, FControl->get_Active(&active));
  EXPECT_EQ(VARIANT_TRUE, active);
  EXPECT_EQ(window, GetFocus());
  EXPECT_EQ(1u, FEvents.Count(kOnActivate));
  // Activating what is active tells nothing new.
  ASSERT_EQ(S_OK, FHost.Object()->DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, 0, FParent, &FBounds));
  EXPECT_EQ(1u, FEvents.Count(kOnActivate));
  EXPECT_EQ(0u, FEvents.Count(kOnDeactivate));
  TComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(S_OK, FHost.Query(inPlace));
  ASSERT_EQ(S_OK, inPlace->UIDeactivate());
  ASSERT_EQ(S_OK, FControl->get_Active(&active));
  EXPECT_EQ(VARIANT_FALSE, active);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(1u, FEvents.Count(kOnDeactivate));
  ASSERT_EQ(S_OK, inPlace->UIDeactivate());
  EXPECT_EQ(1u, FEvents.Count(kOnDeactivate));

  // Leaving in-place activation while UI-active deactivates the form too.
  ASSERT_EQ(S_OK, FHost.Object()->DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, 0, FParent, &FBounds));
  EXPECT_EQ(2u, FEvents.Count(kOnActivate));
  ASSERT_EQ(S_OK, inPlace->InPlaceDeactivate());
  EXPECT_EQ(2u, FEvents.Count(kOnDeactivate));
}

TEST_F(ComControlTest, ContainerMayLetGoInsideOnDeactivate) {
  Host();
  ASSERT_EQ(S_OK, FHost.Object()->DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, 0, FParent, &FBounds));
  TComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(S_OK, FHost.Query(inPlace));
  bool released = false;
  ASSERT_EQ(S_OK, FHost.ConnectEvents(DIID_IBrindoluxEvents, [&](DISPID dispid, DISPPARAMS&) {
    if (dispid != kOnDeactivate || released) return;
    released = true;
    FHost.Release();
    FControl.Reset();
  }));
  // The interface pointer held here is the last reference once the host
  // has let go inside the event.
  EXPECT_EQ(S_OK, inPlace->UIDeactivate());
  EXPECT_TRUE(released);
  inPlace.Reset();
  PumpPending();
  EXPECT_EQ(S_OK, CanUnloadNow());
}

// A sink that, when the control lets go of it, takes and drops a reference
// to the control, as a sink that tells the control of its own end might.
class TTouchingSink final : public IDispatch {
 public:
  TTouchingSink(IUnknown* control, bool* destroyed) : FControl(control), FDestroyed(destroyed) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
        !IsEqualIID(iid, DIID_IBrindoluxEvents))
      return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG refs = --FRefs;
    if (refs == 0) {
      FControl->AddRef();
      FControl->Release();
      *FDestroyed = true;
      delete this;
    }
    return refs;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return S_OK;
  }

 private:
  ULONG FRefs = 1;
  IUnknown* FControl;  // no reference: the control holds the sink
  bool* FDestroyed;
};

TEST_F(ComControlTest, ReferencePairDuringDestructionDoesNotDestroyTwice) {
  // A second object keeps the library's count above zero: a second
  // destruction of the first would take it to zero while this one lives.
  TComPtr<IUnknown> other;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_BrindoluxCtrl, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   other.ReceiveVoid()));
  TComPtr<IUnknown> control;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_BrindoluxCtrl, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   control.ReceiveVoid()));
  bool destroyed = false;
  {
    TComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(S_OK, control.As(points));
    TComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, points->FindConnectionPoint(DIID_IBrindoluxEvents, point.Receive()));
    TComPtr<IDispatch> sink(new TTouchingSink(control.Get(), &destroyed));
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(sink.Get(), &cookie));
  }
  control.Reset();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(S_FALSE, CanUnloadNow());
  other.Reset();
  EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST_F(ComControlTest, SinkMayCloseOrReopenInsideTheOpeningEvent) {
  const std::string first = TempFile("brx_com_reenter_a.krm");
  const std::string second = TempFile("brx_com_reenter_b.krm");
  for (const auto& [path, width] : {std::make_pair(first, 64), std::make_pair(second, 32)}) {
    KrmWriter writer(width, 24);
    writer.SetDuration(60000);
    writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture(width, 24, 0, 200, 0)));
    writer.SaveToFile(path);
  }
  const std::wstring firstWide(first.begin(), first.end());
  const std::wstring secondWide(second.begin(), second.end());
  Host();
  ASSERT_EQ(S_OK, FControl->put_AutoStart(VARIANT_FALSE));
  struct TCase {
    const char* Name;
    std::function<HRESULT()> Reaction;
    TStatus After;
    const std::wstring* URL;
    LONG Width;
  };
  const std::vector<TCase> cases = {
      {"Close", [&] { return FControl->Close(); }, bxClosed, &firstWide, 0},
      {"Open", [&] { return FControl->Open(TBstr(secondWide)); }, bxOpened, &secondWide, 32},
      {"URL", [&] { return FControl->put_URL(TBstr(secondWide)); }, bxOpened, &secondWide, 32},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    ASSERT_EQ(S_OK, FControl->Close());
    bool reacted = false;
    HRESULT reaction = E_FAIL;
    ASSERT_EQ(S_OK, FHost.ConnectEvents(DIID_IBrindoluxEvents, [&](DISPID dispid, DISPPARAMS& params) {
      if (dispid != kOnPlayStateChanged || reacted || params.cArgs != 1 || params.rgvarg[0].lVal != bxOpening)
        return;
      reacted = true;
      reaction = test.Reaction();
    }));
    EXPECT_EQ(S_OK, FControl->Open(TBstr(firstWide))) << ErrorDescription();
    EXPECT_TRUE(reacted);
    EXPECT_EQ(S_OK, reaction);
    TStatus status = bxSeeking;
    EXPECT_TRUE(PumpUntil([&] { return SUCCEEDED(FControl->get_Status(&status)) && status == test.After; },
                          kWaitMs))
        << status;
    PumpPending();
    EXPECT_EQ(S_OK, FControl->get_Status(&status));
    EXPECT_EQ(test.After, status);
    BSTR url = nullptr;
    ASSERT_EQ(S_OK, FControl->get_URL(&url));
    EXPECT_EQ(*test.URL, TakeBstr(url));
    LONG width = -1;
    EXPECT_EQ(S_OK, FControl->get_KRMWidth(&width));
    EXPECT_EQ(test.Width, width);
    FHost.DisconnectEvents();
  }
  FHost.Release();
  FControl.Reset();
  std::remove(first.c_str());
  std::remove(second.c_str());
}

TEST_F(ComControlTest, FormMembersActOnTheControlsWindow) {
  Host();
  const HWND window = FHost.Window();
  ASSERT_EQ(S_OK, FControl->put_Visible(VARIANT_FALSE));
  EXPECT_FALSE(IsWindowVisible(window));
  ASSERT_EQ(S_OK, FControl->put_Visible(VARIANT_TRUE));
  EXPECT_TRUE(IsWindowVisible(window));
  // Any non-zero value counts as true.
  ASSERT_EQ(S_OK, FControl->put_Enabled(VARIANT_FALSE));
  EXPECT_FALSE(IsWindowEnabled(window));
  ASSERT_EQ(S_OK, FControl->put_Enabled(1));
  EXPECT_TRUE(IsWindowEnabled(window));

  // The form's cursor shows over the whole control.
  ASSERT_EQ(S_OK, FControl->put_Cursor(-21));  // crHandPoint
  EXPECT_EQ(TRUE, SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
  EXPECT_EQ(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)), GetCursor());
  ASSERT_EQ(S_OK, FControl->put_AxBorderStyle(afbSingle));
  EXPECT_NE(0, GetWindowLongPtrW(window, GWL_STYLE) & WS_BORDER);
  ASSERT_EQ(S_OK, FControl->put_AxBorderStyle(afbNone));
  EXPECT_EQ(0, GetWindowLongPtrW(window, GWL_STYLE) & WS_BORDER);
}

TEST_F(ComControlTest, OleFactsMatchTheRegistration) {
  Host();
  TComPtr<IOleObject> object;
  ASSERT_EQ(S_OK, FHost.Query(object));
  DWORD status = 0;
  ASSERT_EQ(S_OK, object->GetMiscStatus(DVASPECT_CONTENT, &status));
  DWORD registered = 0;
  ASSERT_EQ(S_OK, OleRegGetMiscStatus(CLSID_BrindoluxCtrl, DVASPECT_CONTENT, &registered));
  EXPECT_EQ(0x12000u, status);
  EXPECT_EQ(registered, status);

  SIZEL extent{5000, 4000};
  ASSERT_EQ(S_OK, object->SetExtent(DVASPECT_CONTENT, &extent));
  SIZEL back{};
  ASSERT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &back));
  EXPECT_EQ(5000, back.cx);
  EXPECT_EQ(4000, back.cy);

  TComPtr<IProvideClassInfo2> classInfo;
  ASSERT_EQ(S_OK, FHost.Query(classInfo));
  GUID source{};
  ASSERT_EQ(S_OK, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
  EXPECT_TRUE(IsEqualIID(DIID_IBrindoluxEvents, source));
  TComPtr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, classInfo->GetClassInfo(coclass.Receive()));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
  EXPECT_TRUE(IsEqualCLSID(CLSID_BrindoluxCtrl, attr->guid));
  coclass->ReleaseTypeAttr(attr);

  TComPtr<IConnectionPointContainer> points;
  ASSERT_EQ(S_OK, FHost.Query(points));
  TComPtr<IConnectionPoint> other;
  EXPECT_EQ(CONNECT_E_NOCONNECTION, points->FindConnectionPoint(IID_IDispatch, other.Receive()));
  TComPtr<IEnumConnectionPoints> all;
  ASSERT_EQ(S_OK, points->EnumConnectionPoints(all.Receive()));
  TComPtr<IConnectionPoint> first;
  ULONG fetched = 0;
  ASSERT_EQ(S_OK, all->Next(1, first.Receive(), &fetched));
  IID iid{};
  ASSERT_EQ(S_OK, first->GetConnectionInterface(&iid));
  EXPECT_TRUE(IsEqualIID(DIID_IBrindoluxEvents, iid));
  EXPECT_EQ(S_FALSE, all->Next(1, other.Receive(), &fetched));
}

TEST_F(ComControlTest, DefaultsReadTheSameThroughTheVtableAndByName) {
  Host();
  IBrindolux* c = FControl.Get();
  struct TCase {
    const wchar_t* Name;
    std::function<HRESULT(LONG&)> Vtable;
    LONG Expected;
  };
  auto boolean = [](HRESULT (STDMETHODCALLTYPE IBrindolux::*get)(VARIANT_BOOL*), IBrindolux* control) {
    return [=](LONG& value) {
      VARIANT_BOOL b = 7;
      const HRESULT result = (control->*get)(&b);
      value = b;
      return result;
    };
  };
  auto integer = [](HRESULT (STDMETHODCALLTYPE IBrindolux::*get)(LONG*), IBrindolux* control) {
    return [=](LONG& value) { return (control->*get)(&value); };
  };
  const std::vector<TCase> cases = {
      {L"AutoStart", boolean(&IBrindolux::get_AutoStart, c), -1},
      {L"AutoConnect", boolean(&IBrindolux::get_AutoConnect, c), -1},
      {L"ContextMenu", boolean(&IBrindolux::get_ContextMenu, c), -1},
      {L"EnableCache", boolean(&IBrindolux::get_EnableCache, c), -1},
      {L"IgnoreTimestamp", boolean(&IBrindolux::get_IgnoreTimestamp, c), 0},
      {L"FullScreen", boolean(&IBrindolux::get_FullScreen, c), 0},
      {L"InitialColor", integer(&IBrindolux::get_InitialColor, c), 0xFF0000},
      {L"CurrentPosition", integer(&IBrindolux::get_CurrentPosition, c), 0},
      {L"Duration", integer(&IBrindolux::get_Duration, c), 0},
      {L"Status",
       [=](LONG& value) {
         TStatus status = bxSeeking;
         const HRESULT result = c->get_Status(&status);
         value = status;
         return result;
       },
       bxClosed},
      {L"DisplayMode",
       [=](LONG& value) {
         TDisplayMode mode = dmFull;
         const HRESULT result = c->get_DisplayMode(&mode);
         value = mode;
         return result;
       },
       dmAdaptive},
  };
  for (const TCase& test : cases) {
    LONG value = 12345;
    EXPECT_EQ(S_OK, test.Vtable(value)) << test.Name;
    EXPECT_EQ(test.Expected, value) << test.Name;
    EXPECT_EQ(test.Expected, DispatchGet(test.Name)) << test.Name;
  }
}

TEST_F(ComControlTest, FailingMemberGivesItsMessageThroughErrorInfoAndExcepInfo) {
  Host();
  TComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(S_OK, FHost.Query(support));
  EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IBrindolux));

  // A colour text of the wrong length.
  EXPECT_EQ(E_UNEXPECTED, FControl->put_bgColor(TBstr(L"#12")));
  EXPECT_EQ(L"Unknown color format", ErrorDescription());
  // A failure with an OLE error code of its own answers that code.
  EXPECT_EQ(E_POINTER, FControl->put_Font(nullptr));
  EXPECT_NE(L"<no error info>", ErrorDescription());

  DISPID dispid = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"bgColor")};
  ASSERT_EQ(S_OK, FHost.Dispatch()->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid));
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_BSTR;
  arg.bstrVal = SysAllocString(L"red");
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&arg, &named, 1, 1};
  EXCEPINFO excep{};
  UINT argError = 0;
  EXPECT_EQ(DISP_E_EXCEPTION,
            FHost.Dispatch()->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                                     nullptr, &excep, &argError));
  VariantClear(&arg);
  EXPECT_EQ(E_UNEXPECTED, excep.scode);
  EXPECT_EQ(L"Unknown color format", TakeBstr(excep.bstrDescription));
  EXPECT_EQ(L"BrindoluxTLB.BrindoluxCtrl", TakeBstr(excep.bstrSource));
  SysFreeString(excep.bstrHelpFile);

  // A member with nothing to do succeeds and sets no error.
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(S_OK, FControl->Pause());
  EXPECT_EQ(S_OK, FControl->SendScript(TBstr(L"anything")));
  TComPtr<IErrorInfo> none;
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, none.Receive()));
}

TEST_F(ComControlTest, PlayingFiresStateChangesIntoTheSinkOnTheContainerThread) {
  const std::string path = TempFile("brx_com_play.krm");
  KrmWriter writer(64, 48);
  writer.SetDuration(300);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture(64, 48, 0, 200, 0)));
  writer.AddKeyFrame(150, CT_RAW, BmpFileImage(TestPicture(64, 48, 0, 0, 200)));
  // The play thread reports the end at the record that reaches the duration.
  writer.AddMarker(300);
  writer.SaveToFile(path);

  Host();
  Connect();
  std::wstring wide(path.begin(), path.end());
  ASSERT_EQ(S_OK, FControl->Open(TBstr(wide))) << ErrorDescription();
  const auto stateSeen = [this](long state) {
    return [this, state] {
      for (long seen : FEvents.FirstArgs(kOnPlayStateChanged))
        if (seen == state) return true;
      return false;
    };
  };
  const bool stopped = PumpUntil(stateSeen(bxStopped), kWaitMs);
  const std::vector<long> states = FEvents.FirstArgs(kOnPlayStateChanged);
  ASSERT_TRUE(stopped) << ::testing::PrintToString(states) << " events " << FEvents.Events().size();
  ASSERT_GE(states.size(), 4u);
  EXPECT_EQ((std::vector<long>{bxOpening, bxOpened, bxPlaying, bxStopped}),
            std::vector<long>(states.begin(), states.begin() + 4));
  for (const TRecordedEvent& event : FEvents.Events()) EXPECT_EQ(GetCurrentThreadId(), event.ThreadId);
  LONG width = 0;
  EXPECT_EQ(S_OK, FControl->get_KRMWidth(&width));
  EXPECT_EQ(64, width);

  // Once the sink is gone, nothing reaches it.
  FHost.DisconnectEvents();
  FEvents.Clear();
  ASSERT_EQ(S_OK, FControl->Close());
  EXPECT_TRUE(FEvents.Events().empty());
  TStatus status = bxPlaying;
  EXPECT_EQ(S_OK, FControl->get_Status(&status));
  EXPECT_EQ(bxClosed, status);
  std::remove(path.c_str());
}

TEST_F(ComControlTest, LiveStreamEventsArriveThroughIDispatchOnTheSourcesThread) {
  constexpr DISPID kOnScript = 204, kOnIndex = 205, kOnStreamSample = 206, kOnString = 207;
  TLivePeer peer;
  TLivePeer::TScript script;
  script.Packets = {TLivePeer::FramePacket(KrmRecord{0, 0, 0, FT_KEY, CT_RAW, 0, 0,
                                                     BmpFileImage(TestPicture(64, 48, 0, 200, 0)), {}}),
                    TLivePeer::TextPacket(2, "a string"), TLivePeer::TextPacket(1, "an index"),
                    TLivePeer::TextPacket(3, "a script")};
  peer.SetScript(script);
  Host();
  Connect();
  ASSERT_EQ(S_OK, FControl->Open(TBstr(peer.URL("ch")))) << ErrorDescription();
  ASSERT_TRUE(PumpUntil([&] { return FEvents.Count(kOnScript) == 1; }, kWaitMs));
  std::vector<std::wstring> texts;
  for (const TRecordedEvent& event : FEvents.Events()) {
    if (event.Dispid < kOnScript || event.Dispid > kOnString) continue;
    EXPECT_NE(GetCurrentThreadId(), event.ThreadId) << event.Dispid;
    if (event.Dispid == kOnStreamSample) continue;
    ASSERT_EQ(1u, event.Args.size());
    texts.push_back(event.Args[0].Text);
  }
  EXPECT_EQ(1u, FEvents.Count(kOnStreamSample));
  EXPECT_EQ(1u, FEvents.Count(kOnIndex));
  EXPECT_EQ((std::vector<std::wstring>{L"a string", L"an index", L"a script"}), texts);
  BSTR host = nullptr;
  EXPECT_EQ(S_OK, FControl->get_Host(&host));
  EXPECT_EQ(L"127.0.0.1", TakeBstr(host));
  EXPECT_EQ(S_OK, FControl->Request(TBstr(L"hello")));
  EXPECT_TRUE(peer.WaitForText("hello", 1, kWaitMs));
  EXPECT_EQ(S_OK, FControl->Close());
}

TEST_F(ComControlTest, ContainerMayLetGoInsideAnEventOfAMember) {
  const std::string path = TempFile("brx_com_letgo.krm");
  KrmWriter writer(64, 48);
  writer.SetDuration(300);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture(64, 48, 0, 200, 0)));
  writer.SaveToFile(path);
  Host();
  IBrindolux* control = FControl.Get();
  bool released = false;
  ASSERT_EQ(S_OK, FHost.ConnectEvents(DIID_IBrindoluxEvents, [&](DISPID dispid, DISPPARAMS&) {
    if (dispid != kOnPlayStateChanged || released) return;
    // The first state change comes inside Open: take the control down.
    released = true;
    FHost.Release();
    FControl.Reset();
  }));
  std::wstring wide(path.begin(), path.end());
  EXPECT_EQ(S_OK, control->Open(TBstr(wide)));
  EXPECT_TRUE(released);
  PumpPending();
  EXPECT_EQ(S_OK, CanUnloadNow());
  std::remove(path.c_str());
}

TEST_F(ComControlTest, ContainerMayLetGoInsideAnEventOfTheEngine) {
  // The end of play is reported by the play thread's message, outside any
  // member: the control must outlive that message, not die inside it.
  const std::string path = TempFile("brx_com_letgo_end.krm");
  KrmWriter writer(64, 48);
  writer.SetDuration(200);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture(64, 48, 0, 200, 0)));
  writer.AddMarker(200);
  writer.SaveToFile(path);
  Host();
  TComPtr<IOleWindow> oleWindow;
  ASSERT_EQ(S_OK, FHost.Query(oleWindow));
  HWND window = nullptr;
  ASSERT_EQ(S_OK, oleWindow->GetWindow(&window));
  oleWindow.Reset();
  bool released = false;
  bool windowDuringEvent = false;
  ASSERT_EQ(S_OK, FHost.ConnectEvents(DIID_IBrindoluxEvents, [&](DISPID dispid, DISPPARAMS& params) {
    if (dispid != kOnPlayStateChanged || released || params.cArgs != 1 || params.rgvarg[0].lVal != bxStopped)
      return;
    released = true;
    FHost.Release();
    FControl.Reset();
    windowDuringEvent = IsWindow(window) != FALSE;
  }));
  std::wstring wide(path.begin(), path.end());
  ASSERT_EQ(S_OK, FControl->Open(TBstr(wide)));
  ASSERT_TRUE(PumpUntil([&] { return released; }, kWaitMs));
  EXPECT_TRUE(windowDuringEvent);
  PumpPending();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(S_OK, CanUnloadNow());
  std::remove(path.c_str());
}

TEST_F(ComControlTest, ContainerMayLetGoInsideTheSkipOfAThumbnailsClick) {
  // A recording with one thumbnail beside it; its click fires OnSkip from
  // the strip's own window.
  const std::string folder = TempFile("brx_com_nails\\");
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "nails").c_str(), nullptr);
  KrmWriter writer(64, 48);
  writer.SetDuration(60000);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture(64, 48, 0, 200, 0)));
  writer.SaveToFile(folder + "rec.krm");
  WriteFileBytes(folder + "nails.xml", {'7', '0', '0', '0', '=', 'a', '.', 'b', 'm', 'p', '\r', '\n'});
  WriteFileBytes(folder + "nails\\a.bmp", BmpFileImage(TestPicture(16, 16, 200, 0, 0)));
  Host();
  TComPtr<IOleWindow> oleWindow;
  ASSERT_EQ(S_OK, FHost.Query(oleWindow));
  HWND window = nullptr;
  ASSERT_EQ(S_OK, oleWindow->GetWindow(&window));
  oleWindow.Reset();
  const HWND strip = FindWindowExW(window, nullptr, L"TNailsFrame", nullptr);
  ASSERT_NE(nullptr, strip);
  bool released = false;
  LONG skipped = -1;
  ASSERT_EQ(S_OK, FHost.ConnectEvents(DIID_IBrindoluxEvents, [&](DISPID dispid, DISPPARAMS& params) {
    if (dispid != kOnSkip || released || params.cArgs != 1) return;
    released = true;
    skipped = params.rgvarg[0].lVal;
    FHost.Release();
    FControl.Reset();
  }));
  const std::string path = folder + "rec.krm";
  ASSERT_EQ(S_OK, FControl->put_AutoStart(VARIANT_FALSE));
  ASSERT_EQ(S_OK, FControl->Open(TBstr(std::wstring(path.begin(), path.end()))));
  ASSERT_TRUE(PumpUntil([&] { return (GetWindowLongPtrW(strip, GWL_STYLE) & WS_VISIBLE) != 0; }, kWaitMs));
  PumpPending();
  // The first thumbnail's image lies at (12, 12) to (72, 72).
  SendMessageW(strip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
  SendMessageW(strip, WM_LBUTTONUP, 0, MAKELPARAM(40, 40));
  EXPECT_TRUE(released);
  EXPECT_EQ(7, skipped);
  PumpPending();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(S_OK, CanUnloadNow());
}

TEST_F(ComControlTest, EventArgumentsArriveInDeclarationOrder) {
  Host();
  Connect();
  // A right click would open the popup menu's modal loop.
  ASSERT_EQ(S_OK, FControl->put_ContextMenu(VARIANT_FALSE));
  const HWND form = FHost.Window();
  // The picture frame: the largest visible child of the control's window.
  HWND frame = nullptr;
  LONG largest = -1;
  for (HWND child = GetWindow(form, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r{};
    GetClientRect(child, &r);
    if (IsWindowVisible(child) && r.right * r.bottom > largest) {
      largest = r.right * r.bottom;
      frame = child;
    }
  }
  ASSERT_NE(nullptr, frame);
  SendMessageW(frame, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 6));
  SendMessageW(frame, WM_RBUTTONUP, 0, MAKELPARAM(7, 8));
  SendMessageW(form, WM_CHAR, 'A', 0);

  struct TExpected {
    DISPID Dispid;
    std::vector<long> Args;
    VARTYPE Type;
  };
  const std::vector<TExpected> expected = {
      {208, {1, 5, 6}, VT_I4},  // OnMouseDown(Button, x, y)
      {210, {1, 7, 8}, VT_I4},  // OnMouseUp(Button, x, y)
      {11, {'A'}, VT_I2},       // OnKeyPress(Key), by reference
  };
  std::vector<TRecordedEvent> events;
  for (const TRecordedEvent& event : FEvents.Events())
    if (event.Dispid == 208 || event.Dispid == 210 || event.Dispid == 11) events.push_back(event);
  ASSERT_EQ(expected.size(), events.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].Dispid, events[i].Dispid) << i;
    std::vector<long> args;
    for (const TRecordedArg& arg : events[i].Args) {
      args.push_back(arg.Long);
      EXPECT_EQ(expected[i].Type, arg.Type) << i;
    }
    EXPECT_EQ(expected[i].Args, args) << i;
  }
}

// Run again under a Chinese system language, where byte text is GBK.
TEST_F(ComControlTest, CaptionIsTheWindowTextInTheSystemsCodePage) {
  const char* lang = std::getenv("BRX_EXPECT_LANG");
  const bool chinese = lang && std::string(lang) == "zh_CN";
  const std::wstring text = chinese ? L"\u6f14\u793a\u6587\u7a3f" : L"Vorf\u00fchrung";
  Host();
  ASSERT_EQ(S_OK, FControl->put_Caption(TBstr(text)));
  wchar_t shown[64] = {};
  GetWindowTextW(FHost.Window(), shown, 64);
  EXPECT_EQ(text, shown);
  BSTR caption = nullptr;
  ASSERT_EQ(S_OK, FControl->get_Caption(&caption));
  EXPECT_EQ(text, TakeBstr(caption));
}

TEST_F(ComControlTest, FormStateSurvivesSaveAndLoadButPlayerMembersStartAtDefaults) {
  Host();
  ASSERT_EQ(S_OK, FControl->put_Caption(TBstr(L"Vorf\u00fchrung")));
  ASSERT_EQ(S_OK, FControl->put_Color(0x00336699));
  ASSERT_EQ(S_OK, FControl->put_KeyPreview(VARIANT_FALSE));
  ASSERT_EQ(S_OK, FControl->put_PixelsPerInch(120));
  ASSERT_EQ(S_OK, FControl->put_AxBorderStyle(afbSunken));
  ASSERT_EQ(S_OK, FControl->put_HelpFile(TBstr(L"help.hlp")));
  ASSERT_EQ(S_OK, FControl->put_Cursor(-21));
  ASSERT_EQ(S_OK, FControl->put_Enabled(VARIANT_FALSE));
  FONTDESC font{
      sizeof(FONTDESC), const_cast<LPOLESTR>(L"Tahoma"), {}, FW_BOLD, ANSI_CHARSET, TRUE, FALSE, FALSE};
  font.cySize.int64 = 120000;
  TComPtr<IFontDisp> fontDisp;
  ASSERT_EQ(S_OK, OleCreateFontIndirect(&font, IID_IFontDisp, fontDisp.ReceiveVoid()));
  // The system may give the font object another face than the one asked
  // for; the control keeps the one the object reports.
  TComPtr<IFont> given;
  ASSERT_EQ(S_OK, fontDisp.As(given));
  BSTR givenName = nullptr;
  given->get_Name(&givenName);
  const std::wstring faceName = TakeBstr(givenName);
  ASSERT_EQ(S_OK, FControl->put_Font(fontDisp.Get()));
  ASSERT_EQ(S_OK, FControl->put_AutoStart(VARIANT_FALSE));

  TComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(S_OK, FHost.Query(persist));
  EXPECT_EQ(S_OK, persist->IsDirty());
  TComPtr<IStream> stream;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive()));
  ASSERT_EQ(S_OK, persist->Save(stream.Get(), TRUE));
  EXPECT_EQ(S_FALSE, persist->IsDirty());
  // Whatever the container writes after the control's state stays its own.
  const char trailer[] = "next";
  ASSERT_EQ(S_OK, stream->Write(trailer, 4, nullptr));
  FHost.Release();
  FControl.Reset();

  LARGE_INTEGER start{};
  ASSERT_EQ(S_OK, stream->Seek(start, STREAM_SEEK_SET, nullptr));
  Host(stream.Get());
  char after[4] = {};
  ULONG read = 0;
  ASSERT_EQ(S_OK, stream->Read(after, 4, &read));
  EXPECT_EQ(std::string("next"), std::string(after, read));

  BSTR caption = nullptr;
  ASSERT_EQ(S_OK, FControl->get_Caption(&caption));
  EXPECT_EQ(L"Vorf\u00fchrung", TakeBstr(caption));
  char windowText[64] = {};
  GetWindowTextA(FHost.Window(), windowText, 64);
  EXPECT_EQ(std::string("Vorf\xfchrung"), windowText);  // byte text of the system's code page
  OLE_COLOR color = 0;
  EXPECT_EQ(S_OK, FControl->get_Color(&color));
  EXPECT_EQ(0x00336699u, color);
  VARIANT_BOOL flag = VARIANT_TRUE;
  EXPECT_EQ(S_OK, FControl->get_KeyPreview(&flag));
  EXPECT_EQ(VARIANT_FALSE, flag);
  EXPECT_EQ(S_OK, FControl->get_Enabled(&flag));
  EXPECT_EQ(VARIANT_FALSE, flag);
  EXPECT_FALSE(IsWindowEnabled(FHost.Window()));
  LONG ppi = 0;
  EXPECT_EQ(S_OK, FControl->get_PixelsPerInch(&ppi));
  EXPECT_EQ(120, ppi);
  TxActiveFormBorderStyle border = afbNone;
  EXPECT_EQ(S_OK, FControl->get_AxBorderStyle(&border));
  EXPECT_EQ(afbSunken, border);
  EXPECT_NE(0, GetWindowLongPtrW(FHost.Window(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  BSTR help = nullptr;
  EXPECT_EQ(S_OK, FControl->get_HelpFile(&help));
  EXPECT_EQ(L"help.hlp", TakeBstr(help));
  short cursor = 0;
  EXPECT_EQ(S_OK, FControl->get_Cursor(&cursor));
  EXPECT_EQ(-21, cursor);

  TComPtr<IFontDisp> loadedDisp;
  ASSERT_EQ(S_OK, FControl->get_Font(loadedDisp.Receive()));
  TComPtr<IFont> loaded;
  ASSERT_EQ(S_OK, loadedDisp.As(loaded));
  BSTR name = nullptr;
  loaded->get_Name(&name);
  EXPECT_EQ(faceName, TakeBstr(name));
  CY size{};
  loaded->get_Size(&size);
  EXPECT_EQ(120000, size.int64);
  SHORT weight = 0;
  loaded->get_Weight(&weight);
  EXPECT_EQ(FW_BOLD, weight);
  BOOL italic = FALSE;
  loaded->get_Italic(&italic);
  EXPECT_TRUE(italic);

  VARIANT_BOOL autoStart = VARIANT_FALSE;
  EXPECT_EQ(S_OK, FControl->get_AutoStart(&autoStart));
  EXPECT_EQ(VARIANT_TRUE, autoStart);
}

// Reads one saved state into a byte vector.
std::vector<uint8_t> SavedState(IPersistStreamInit* persist) {
  TComPtr<IStream> stream;
  EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive()));
  EXPECT_EQ(S_OK, persist->Save(stream.Get(), FALSE));
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::vector<uint8_t> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  stream->Read(bytes.data(), ULONG(bytes.size()), &read);
  return bytes;
}

HRESULT LoadState(IPersistStreamInit* persist, const std::vector<uint8_t>& bytes) {
  TComPtr<IStream> stream;
  CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive());
  stream->Write(bytes.data(), ULONG(bytes.size()), nullptr);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  return persist->Load(stream.Get());
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
}

TEST_F(ComControlTest, DamagedStateIsRefusedAndLaterVersionsAreRead) {
  Host();
  ASSERT_EQ(S_OK, FControl->put_Caption(TBstr(L"kept")));
  TComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(S_OK, FHost.Query(persist));
  const std::vector<uint8_t> good = SavedState(persist.Get());
  ASSERT_GT(good.size(), 12u);
  // Layout: u16 version, u32 body length, body (two flags, u32 border
  // style, u32 caption length, caption...).
  struct TCase {
    const char* Name;
    std::function<void(std::vector<uint8_t>&)> Damage;
  };
  const std::vector<TCase> damaged = {
      {"cut inside the prefix", [](std::vector<uint8_t>& b) { b.resize(3); }},
      {"cut inside the body", [](std::vector<uint8_t>& b) { b.resize(b.size() - 1); }},
      {"version 0", [](std::vector<uint8_t>& b) { b[0] = b[1] = 0; }},
      {"body length past any bound", [](std::vector<uint8_t>& b) { PutU32(b, 2, 0xFFFFFFF0u); }},
      {"body length short of its fields", [](std::vector<uint8_t>& b) { PutU32(b, 2, 8); }},
      {"caption longer than the body", [](std::vector<uint8_t>& b) { PutU32(b, 6 + 6, 0x7FFFFFFFu); }},
  };
  for (const TCase& test : damaged) {
    std::vector<uint8_t> bytes = good;
    test.Damage(bytes);
    EXPECT_TRUE(FAILED(LoadState(persist.Get(), bytes))) << test.Name;
  }
  BSTR caption = nullptr;
  ASSERT_EQ(S_OK, FControl->get_Caption(&caption));
  EXPECT_EQ(L"kept", TakeBstr(caption));

  // A later version appends fields: the known ones are read, the rest
  // skipped.
  std::vector<uint8_t> later = good;
  later[0] = 2;
  later.insert(later.end(), {1, 2, 3, 4});
  PutU32(later, 2, uint32_t(later.size() - 6));
  ASSERT_EQ(S_OK, FControl->put_Caption(TBstr(L"changed")));
  EXPECT_EQ(S_OK, LoadState(persist.Get(), later));
  ASSERT_EQ(S_OK, FControl->get_Caption(&caption));
  EXPECT_EQ(L"kept", TakeBstr(caption));
}

TEST_F(ComControlTest, ViewObjectDrawsTheWindowsPicture) {
  Host();
  PumpPending();
  UpdateWindow(FHost.Window());
  TComPtr<IViewObject2> view;
  ASSERT_EQ(S_OK, FHost.Query(view));
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 80, 60);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(memory, bitmap);
  RECT all{0, 0, 80, 60};
  FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  RECTL bounds{0, 0, 80, 60};
  EXPECT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds, nullptr,
                             nullptr, 0));
  // The picture frame of a closed control is black.
  EXPECT_EQ(RGB(0, 0, 0), GetPixel(memory, 40, 30));
  EXPECT_EQ(DV_E_DVASPECT,
            view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, memory, &bounds, nullptr, nullptr, 0));
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
}

TEST_F(ComControlTest, LibraryMayUnloadOnlyAfterTheLastObjectAndLock) {
  EXPECT_EQ(S_OK, CanUnloadNow());
  Host();
  const HWND window = FHost.Window();
  EXPECT_EQ(S_FALSE, CanUnloadNow());
  FControl.Reset();
  FHost.Release();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(S_OK, CanUnloadNow());

  TComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, GetClassObject(CLSID_BrindoluxCtrl, IID_IClassFactory, factory.ReceiveVoid()));
  EXPECT_EQ(S_FALSE, CanUnloadNow());
  TComPtr<IUnknown> aggregated;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.Get()),
                                                           IID_IUnknown, aggregated.ReceiveVoid()));
  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  factory.Reset();
  EXPECT_EQ(S_FALSE, CanUnloadNow());
  ASSERT_EQ(S_OK, GetClassObject(CLSID_BrindoluxCtrl, IID_IClassFactory, factory.ReceiveVoid()));
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  factory.Reset();
  EXPECT_EQ(S_OK, CanUnloadNow());

  TComPtr<IUnknown> unknown;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            GetClassObject(IID_IDispatch, IID_IClassFactory, unknown.ReceiveVoid()));
}

// What a dialog box of this thread showed at the moment it appeared, before
// its modal loop let anyone close it, with a screenshot of the first one.
class TDialogProbe {
 public:
  struct TChild {
    std::wstring Class, Text;
    RECT Place;  // in the box's client area
  };
  struct TSighting {
    HWND Box;
    std::wstring Caption;
    std::vector<TChild> Children;
    RECT Window, Client;
    LONG_PTR Style;
    HWND Owner;
    bool OwnerEnabled;
  };

  // With a name, the first box is saved as a screenshot; OnShown runs at
  // every sighting.
  explicit TDialogProbe(std::string ScreenshotName, std::function<void(HWND)> OnShown = {})
      : FScreenshotName(std::move(ScreenshotName)), FOnShown(std::move(OnShown)) {
    FCurrent = this;
    FHook = SetWindowsHookExW(WH_CALLWNDPROCRET, Hook, nullptr, GetCurrentThreadId());
  }
  ~TDialogProbe() {
    if (FHook) UnhookWindowsHookEx(FHook);
    FCurrent = nullptr;
  }
  TDialogProbe(const TDialogProbe&) = delete;
  TDialogProbe& operator=(const TDialogProbe&) = delete;

  bool Hooked() const { return FHook != nullptr; }
  std::vector<TSighting> Sightings;
  bool Saved = false;

 private:
  static std::wstring Text(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
  }
  static std::wstring Class(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
  }

  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && FCurrent && call->message == WM_WINDOWPOSCHANGED &&
        (reinterpret_cast<const WINDOWPOS*>(call->lParam)->flags & SWP_SHOWWINDOW) &&
        Class(call->hwnd) == L"#32770")
      FCurrent->Look(call->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  void Look(HWND box) {
    TSighting seen{box,  Text(box), {}, {}, {}, GetWindowLongPtrW(box, GWL_STYLE), GetWindow(box, GW_OWNER),
                   false};
    GetWindowRect(box, &seen.Window);
    GetClientRect(box, &seen.Client);
    seen.OwnerEnabled = seen.Owner && IsWindowEnabled(seen.Owner);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      TChild part{Class(child), Text(child), {}};
      GetWindowRect(child, &part.Place);
      MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&part.Place), 2);
      seen.Children.push_back(part);
    }
    if (!Saved && !FScreenshotName.empty()) {
      RedrawWindow(box, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
      int width = 0, height = 0;
      Saved = !CaptureWindow(box, FScreenshotName, width, height).empty();
    }
    Sightings.push_back(seen);
    if (FOnShown) FOnShown(box);
  }

  static TDialogProbe* FCurrent;
  HHOOK FHook = nullptr;
  std::string FScreenshotName;
  std::function<void(HWND)> FOnShown;
};

TDialogProbe* TDialogProbe::FCurrent = nullptr;

// Run again under a Chinese system language.
TEST_F(ComControlTest, AboutBoxShowsTheLibrarysVersionModally) {
  const char* lang = std::getenv("BRX_EXPECT_LANG");
  const bool chinese = lang && std::string(lang) == "zh_CN";
  Host();
  const HWND window = FHost.Window();
  TDialogProbe probe(chinese ? "about-box-zh_CN" : "about-box");
  ASSERT_TRUE(probe.Hooked());
  const std::wstring version(BRX_VERSION_TEXT, BRX_VERSION_TEXT + sizeof(BRX_VERSION_TEXT) - 1);
  ASSERT_NE(L"7.6.5.4", version) << "the test program's own version";

  // miAbout returns only once the box is closed: here by the watchdog.
  constexpr WPARAM miAbout = 105;
  SendMessageW(window, WM_COMMAND, miAbout, 0);
  const std::wstring caption = chinese ? L"关于" : L"About";
  EXPECT_EQ(std::vector<std::wstring>{caption + L": Zephyrcastor Brindolux  " + version},
            FWatchdog.TakeDismissed());
  ASSERT_EQ(1u, probe.Sightings.size());
  EXPECT_TRUE(probe.Saved);
  const TDialogProbe::TSighting seen = probe.Sightings[0];
  EXPECT_EQ(caption, seen.Caption);
  EXPECT_EQ(FParent, seen.Owner);
  EXPECT_FALSE(seen.OwnerEnabled) << "the owner took input while the box was up";
  EXPECT_TRUE(IsWindowEnabled(FParent));
  EXPECT_FALSE(IsWindowVisible(seen.Box));
  EXPECT_EQ(0, seen.Style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_EQ(323, seen.Client.right);
  EXPECT_EQ(126, seen.Client.bottom);
  // Centred on the screen's work area.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(FParent, MONITOR_DEFAULTTOPRIMARY), &monitor));
  const RECT& area = monitor.rcWork;
  EXPECT_EQ(area.left + (area.right - area.left - (seen.Window.right - seen.Window.left)) / 2,
            seen.Window.left);
  EXPECT_EQ(area.top + (area.bottom - area.top - (seen.Window.bottom - seen.Window.top)) / 2,
            seen.Window.top);

  std::vector<TDialogProbe::TChild> labels, buttons;
  for (const auto& child : seen.Children) (child.Class == L"Static" ? labels : buttons).push_back(child);
  ASSERT_EQ(2u, labels.size());
  ASSERT_EQ(1u, buttons.size());
  EXPECT_EQ(L"Zephyrcastor Brindolux ", labels[0].Text);
  EXPECT_EQ(version, labels[1].Text);
  const int labelWidth = labels[1].Place.right - labels[1].Place.left;
  EXPECT_EQ((seen.Window.right - seen.Window.left - labelWidth) / 2, labels[1].Place.left) << "not centred";
  EXPECT_EQ(chinese ? L"确定" : L"OK", buttons[0].Text);

  // Shown again: the same box, closed again by the watchdog (which tells
  // of each box once).
  PumpPending();
  SendMessageW(window, WM_COMMAND, miAbout, 0);
  ASSERT_EQ(2u, probe.Sightings.size());
  EXPECT_EQ(seen.Box, probe.Sightings[1].Box);
  EXPECT_EQ(version, probe.Sightings[1].Children.size() > 1 ? probe.Sightings[1].Children[1].Text : L"");
  EXPECT_TRUE(FWatchdog.TakeDismissed().empty());
  EXPECT_TRUE(IsWindowEnabled(FParent));

  // The control takes its box with it.
  FControl.Reset();
  FHost.Release();
  EXPECT_FALSE(IsWindow(seen.Box));
}

TEST_F(ComControlTest, AboutBoxGoesWithTheWindowThatOwnsIt) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                               0, 400, 300, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, owner);
  ASSERT_EQ(S_OK, FHost.Create(CLSID_BrindoluxCtrl, owner, FBounds));
  const HWND window = FHost.Window();
  // The owner is closed while the box is up.
  TDialogProbe probe("", [owner](HWND) { PostMessageW(owner, WM_CLOSE, 0, 0); });
  constexpr WPARAM miAbout = 105;
  SendMessageW(window, WM_COMMAND, miAbout, 0);
  PumpPending();
  ASSERT_EQ(1u, probe.Sightings.size());
  EXPECT_EQ(owner, probe.Sightings[0].Owner);
  EXPECT_FALSE(IsWindow(owner));
  EXPECT_FALSE(IsWindow(probe.Sightings[0].Box));
  // The watchdog may have caught the box, whole or half gone, before it
  // went: not a stray box.
  FWatchdog.TakeDismissed();
  FControl.Reset();
  FHost.Release();
}

}  // namespace

namespace {

// The watchdog the window tests rely on: it must close a box that nobody
// answers and say what it showed.
TEST(MessageBoxWatchdogTest, ClosesAStrayBoxAndKeepsItsText) {
  TMessageBoxWatchdog watchdog;
  HANDLE shown = CreateThread(
      nullptr, 0, [](void*) WINAPI -> DWORD { return MessageBoxW(nullptr, L"boom", L"Stray", MB_OK); }, nullptr, 0,
      nullptr);
  ASSERT_NE(nullptr, shown);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(shown, kWaitMs));
  CloseHandle(shown);
  EXPECT_EQ(std::vector<std::wstring>{L"Stray: boom"}, watchdog.TakeDismissed());
}

}  // namespace
