#include "com/BrindoluxObject.h"

#include <commctrl.h>

#include <array>
#include <new>
#include <vector>

#include "com/ClassFactory.h"
#include "com/Server.h"
#include "base/SystemText.h"

namespace {

// The control's window carries the form's cursor; the picture's windows
// only keep the object alive.
constexpr UINT_PTR kControlSubclassId = 1;
constexpr UINT_PTR kPictureSubclassId = 2;

std::wstring FromBstr(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

BSTR ToBstr(const std::wstring& text) {
  BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!result) throw EOleSysError(E_OUTOFMEMORY, "Out of memory");
  return result;
}

VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

// Any non-zero value a container passes counts as true.
bool FromVariantBool(VARIANT_BOOL value) { return value != VARIANT_FALSE; }

// The cursors of the form's Cursor property, by their numbers.
LPCSTR SystemCursor(short cursor) {
  switch (cursor) {
    case -2:
      return IDC_ARROW;
    case -3:
      return IDC_CROSS;
    case -4:
      return IDC_IBEAM;
    case -6:
      return IDC_SIZENESW;
    case -7:
      return IDC_SIZENS;
    case -8:
      return IDC_SIZENWSE;
    case -9:
      return IDC_SIZEWE;
    case -10:
      return IDC_UPARROW;
    case -11:
      return IDC_WAIT;
    case -18:
      return IDC_NO;
    case -19:
      return IDC_APPSTARTING;
    case -20:
      return IDC_HELP;
    case -21:
      return IDC_HAND;
    case -22:
      return IDC_SIZEALL;
    default:
      return nullptr;
  }
}

}  // namespace

HRESULT TBrindoluxObject::Create(REFIID iid, void** object) noexcept {
  if (!object) return E_POINTER;
  *object = nullptr;
  TBrindoluxObject* control = nullptr;
  try {
    control = new TBrindoluxObject();
  } catch (...) {
    return ReportCurrentException(IID_IBrindolux);
  }
  // The reference of construction goes when the caller's is taken.
  const HRESULT result = control->QueryInterface(iid, object);
  control->Release();
  return result;
}

TBrindoluxObject::TBrindoluxObject() : FCore(*this), FConnectionPoint(*Identity(), *this) {
  OleCheck(LoadTypeLibEx(ServerModulePath().c_str(), REGKIND_NONE, FTypeLib.Receive()));
  OleCheck(FTypeLib->GetTypeInfoOfGuid(IID_IBrindolux, FTypeInfo.Receive()));
  FCtrl = std::make_unique<TBrindoluxCtrl>(nullptr);
  for (HWND window : ControlWindows())
    SetWindowSubclass(window, WindowSubclass,
                      window == FCtrl->Handle() ? kControlSubclassId : kPictureSubclassId,
                      reinterpret_cast<DWORD_PTR>(this));
  ApplyFont();
  ServerAddRef();
}

TBrindoluxObject::~TBrindoluxObject() {
  FConnectionPoint.DisconnectAll();
  // The container let go without closing: drop what it gave without
  // calling back into it.
  FCore.Detach();
  if (FCtrl)
    for (HWND window : ControlWindows())
      RemoveWindowSubclass(window, WindowSubclass,
                           window == FCtrl->Handle() ? kControlSubclassId : kPictureSubclassId);
  FCtrl.reset();
  ServerRelease();
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  void* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IBrindolux))
    found = static_cast<IBrindolux*>(this);
  else if (IsEqualIID(iid, IID_IOleObject))
    found = static_cast<IOleObject*>(this);
  else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject))
    found = static_cast<IOleInPlaceObject*>(this);
  else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject))
    found = static_cast<IOleInPlaceActiveObject*>(this);
  else if (IsEqualIID(iid, IID_IOleControl))
    found = static_cast<IOleControl*>(this);
  else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2))
    found = static_cast<IViewObject2*>(this);
  else if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistStreamInit))
    found = static_cast<IPersistStreamInit*>(this);
  else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2))
    found = static_cast<IProvideClassInfo2*>(this);
  else if (IsEqualIID(iid, IID_IConnectionPointContainer))
    found = static_cast<IConnectionPointContainer*>(this);
  else if (IsEqualIID(iid, IID_ISupportErrorInfo))
    found = static_cast<ISupportErrorInfo*>(this);
  *object = found;
  if (!found) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE TBrindoluxObject::AddRef() { return ++FRefs; }

ULONG STDMETHODCALLTYPE TBrindoluxObject::Release() {
  const ULONG refs = --FRefs;
  if (refs == 0) {
    // A sink, site or advise holder that the destructor lets go of may take
    // and drop a reference of its own; that pair must not delete again.
    FRefs = kDestroyingRefs;
    delete this;
  }
  return refs;
}

// IDispatch

HRESULT STDMETHODCALLTYPE TBrindoluxObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *info = FTypeInfo.Get();
  (*info)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                                          DISPID* dispids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return FTypeInfo->GetIDsOfNames(names, count, dispids);
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::Invoke(DISPID dispid, REFIID iid, LCID, WORD flags,
                                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                                   UINT* argError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  TComPtr<IUnknown> self = TComPtr<IUnknown>::Share(Identity());
  // A sink may call in again while a member runs (events fire inside
  // members): each call keeps its own failure.
  const bool outerFailed = FFailed;
  FFailed = false;
  if (excepInfo) *excepInfo = EXCEPINFO{};
  const HRESULT invoked =
      FTypeInfo->Invoke(static_cast<IBrindolux*>(this), dispid, flags, params, result, excepInfo, argError);
  const bool failed = FFailed && FAILED(invoked);
  FFailed = outerFailed;
  if (!failed) return invoked;
  // The member failed: the caller learns why through EXCEPINFO, whatever
  // the type library's dispatcher made of it, and through the error object.
  if (excepInfo) {
    if (excepInfo->bstrDescription) SysFreeString(excepInfo->bstrDescription);
    if (excepInfo->bstrSource) SysFreeString(excepInfo->bstrSource);
    excepInfo->wCode = 0;
    excepInfo->scode = FFailureCode;
    excepInfo->bstrDescription =
        SysAllocStringLen(FFailureText.data(), static_cast<UINT>(FFailureText.size()));
    excepInfo->bstrSource = SysAllocString(kBrindoluxProgID);
  }
  ReportComError(IID_IBrindolux, FFailureCode, FFailureText);
  return DISP_E_EXCEPTION;
}

HRESULT TBrindoluxObject::Failed() noexcept {
  FFailed = true;
  FFailureText.clear();
  FFailureCode = ReportCurrentException(IID_IBrindolux, &FFailureText);
  return FFailureCode;
}

// The form members.

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Visible(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(IsWindowVisible(FCtrl->Handle()) != FALSE); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_Visible(VARIANT_BOOL Value) {
  return Run([&] { ShowWindow(FCtrl->Handle(), FromVariantBool(Value) ? SW_SHOWNA : SW_HIDE); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_AutoScroll(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FForm.AutoScroll); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_AutoScroll(VARIANT_BOOL Value) {
  return Store(FForm.AutoScroll, FromVariantBool(Value));
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_AutoSize(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FForm.AutoSize); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_AutoSize(VARIANT_BOOL Value) {
  return Store(FForm.AutoSize, FromVariantBool(Value));
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_AxBorderStyle(TxActiveFormBorderStyle* Value) {
  return Get(Value, [&] { return static_cast<TxActiveFormBorderStyle>(FForm.AxBorderStyle); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_AxBorderStyle(TxActiveFormBorderStyle Value) {
  return Run([&] {
    Store(FForm.AxBorderStyle, Value);
    ApplyBorderStyle();
  });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Caption(BSTR* Value) {
  return Get(Value, [&] { return ToBstr(WindowCaption()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_Caption(BSTR Value) {
  return Run([&] {
    // The form's caption is byte text in the system's code page.
    SetWindowTextA(FCtrl->Handle(), WideToAnsi(FromBstr(Value)).c_str());
    FCore.SetDirty(true);
  });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Color(OLE_COLOR* Value) {
  return Get(Value, [&] { return static_cast<OLE_COLOR>(FForm.Color); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_Color(OLE_COLOR Value) {
  return Run([&] {
    Store(FForm.Color, Value);
    InvalidateRect(FCtrl->Handle(), nullptr, TRUE);
  });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Font(IFontDisp** Value) {
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return Run([&] {
    FONTDESC description{};
    description.cbSizeofstruct = sizeof(description);
    description.lpstrName = const_cast<LPOLESTR>(FForm.Font.Name.c_str());
    description.cySize.int64 = FForm.Font.Size;
    description.sWeight = FForm.Font.Weight;
    description.sCharset = static_cast<SHORT>(FForm.Font.Charset);
    description.fItalic = FForm.Font.Italic;
    description.fUnderline = FForm.Font.Underline;
    description.fStrikethrough = FForm.Font.Strikethrough;
    OleCheck(OleCreateFontIndirect(&description, IID_IFontDisp, reinterpret_cast<void**>(Value)));
  });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_Font(IFontDisp* Value) {
  return Run([&] {
    if (!Value) throw EOleSysError(E_POINTER, "Invalid pointer");
    TComPtr<IFont> font;
    OleCheck(Value->QueryInterface(IID_IFont, font.ReceiveVoid()));
    TFormFont result;
    BSTR name = nullptr;
    OleCheck(font->get_Name(&name));
    result.Name = FromBstr(name).substr(0, kMaxFontNameChars);
    SysFreeString(name);
    CY size{};
    OleCheck(font->get_Size(&size));
    result.Size = size.int64;
    SHORT weight = 0, charset = 0;
    OleCheck(font->get_Weight(&weight));
    OleCheck(font->get_Charset(&charset));
    result.Weight = weight;
    result.Charset = static_cast<uint16_t>(charset);
    BOOL italic = FALSE, underline = FALSE, strikethrough = FALSE;
    OleCheck(font->get_Italic(&italic));
    OleCheck(font->get_Underline(&underline));
    OleCheck(font->get_Strikethrough(&strikethrough));
    result.Italic = italic != FALSE;
    result.Underline = underline != FALSE;
    result.Strikethrough = strikethrough != FALSE;
    FForm.Font = result;
    FCore.SetDirty(true);
    ApplyFont();
  });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_KeyPreview(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FForm.KeyPreview); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_KeyPreview(VARIANT_BOOL Value) {
  return Store(FForm.KeyPreview, FromVariantBool(Value));
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_PixelsPerInch(LONG* Value) {
  return Get(Value, [&] { return static_cast<LONG>(FForm.PixelsPerInch); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_PixelsPerInch(LONG Value) {
  return Store(FForm.PixelsPerInch, Value);
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_PrintScale(TxPrintScale* Value) {
  return Get(Value, [&] { return static_cast<TxPrintScale>(FForm.PrintScale); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_PrintScale(TxPrintScale Value) {
  return Store(FForm.PrintScale, Value);
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Scaled(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FForm.Scaled); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_Scaled(VARIANT_BOOL Value) {
  return Store(FForm.Scaled, FromVariantBool(Value));
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Active(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FCore.UIActive()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_DropTarget(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FForm.DropTarget); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_DropTarget(VARIANT_BOOL Value) {
  return Store(FForm.DropTarget, FromVariantBool(Value));
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_HelpFile(BSTR* Value) {
  return Get(Value, [&] { return ToBstr(FForm.HelpFile); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_HelpFile(BSTR Value) {
  return Run([&] { Store(FForm.HelpFile, FromBstr(Value)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_DoubleBuffered(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FForm.DoubleBuffered); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_DoubleBuffered(VARIANT_BOOL Value) {
  return Store(FForm.DoubleBuffered, FromVariantBool(Value));
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_VisibleDockClientCount(LONG* Value) {
  // Nothing docks into the control.
  return Get(Value, [] { return 0L; });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Enabled(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(IsWindowEnabled(FCtrl->Handle()) != FALSE); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_Enabled(VARIANT_BOOL Value) {
  return Run([&] {
    EnableWindow(FCtrl->Handle(), FromVariantBool(Value) ? TRUE : FALSE);
    FCore.SetDirty(true);
  });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Cursor(short* Value) {
  return Get(Value, [&] { return static_cast<short>(FForm.Cursor); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_Cursor(short Value) { return Store(FForm.Cursor, Value); }

// The player's own members.

HRESULT STDMETHODCALLTYPE TBrindoluxObject::LoadFile(BSTR Filename) {
  return Run([&] { FCtrl->LoadFile(FromBstr(Filename)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::SendScript(BSTR Str) {
  return Run([&] { FCtrl->SendScript(FromBstr(Str)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::Open(BSTR Filename) {
  return Run([&] { FCtrl->Open(FromBstr(Filename)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_DisplayMode(TDisplayMode* Value) {
  return Get(Value, [&] { return FCtrl->GetDisplayMode(); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_DisplayMode(TDisplayMode Value) {
  return Run([&] { FCtrl->SetDisplayMode(Value); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::Play() {
  return Run([&] { FCtrl->Play(); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::Pause() {
  return Run([&] { FCtrl->Pause(); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::Stop() {
  return Run([&] { FCtrl->Stop(); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::Close() {
  return Run([&] { FCtrl->Close(); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::FastForward() {
  return Run([&] { FCtrl->FastForward(); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::FastReverse() {
  return Run([&] { FCtrl->FastReverse(); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_CurrentPosition(LONG* Milliseconds) {
  return Get(Milliseconds, [&] { return static_cast<LONG>(FCtrl->GetCurrentPosition()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_CurrentPosition(LONG Milliseconds) {
  return Run([&] { FCtrl->SetCurrentPosition(Milliseconds); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Duration(LONG* Value) {
  return Get(Value, [&] { return static_cast<LONG>(FCtrl->GetDuration()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_LocalIP(BSTR* Value) {
  return Get(Value, [&] { return ToBstr(FCtrl->GetLocalIP()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_LocalIP(BSTR Value) {
  return Run([&] { FCtrl->SetLocalIP(FromBstr(Value)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Max(LONG* Value) {
  return Get(Value, [&] { return static_cast<LONG>(FCtrl->GetMax()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Min(LONG* Value) {
  return Get(Value, [&] { return static_cast<LONG>(FCtrl->GetMin()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_FullScreen(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FCtrl->GetFullScreen()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_FullScreen(VARIANT_BOOL Value) {
  return Run([&] { FCtrl->SetFullScreen(FromVariantBool(Value)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_URL(BSTR* Value) {
  return Get(Value, [&] { return ToBstr(FCtrl->GetURL()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_URL(BSTR Value) {
  return Run([&] { FCtrl->SetURL(FromBstr(Value)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Status(TStatus* Value) {
  return Get(Value, [&] { return FCtrl->GetStatus(); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_AutoStart(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FCtrl->GetAutoStart()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_AutoStart(VARIANT_BOOL Value) {
  return Run([&] { FCtrl->SetAutoStart(FromVariantBool(Value)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_KRMWidth(LONG* Value) {
  return Get(Value, [&] { return static_cast<LONG>(FCtrl->GetKRMWidth()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_KRMHeight(LONG* Value) {
  return Get(Value, [&] { return static_cast<LONG>(FCtrl->GetKRMHeight()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_InitialColor(LONG* Value) {
  return Get(Value, [&] { return static_cast<LONG>(FCtrl->GetInitialColor()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_InitialColor(LONG Value) {
  return Run([&] { FCtrl->SetInitialColor(Value); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Host(BSTR* Value) {
  return Get(Value, [&] { return ToBstr(FCtrl->GetHost()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_ChannelName(BSTR* Value) {
  return Get(Value, [&] { return ToBstr(FCtrl->GetChannelName()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Title(BSTR* Value) {
  return Get(Value, [&] { return ToBstr(FCtrl->GetTitle()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Author(BSTR* Value) {
  return Get(Value, [&] { return ToBstr(FCtrl->GetAuthor()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Copyright(BSTR* Value) {
  return Get(Value, [&] { return ToBstr(FCtrl->GetCopyright()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_Description(BSTR* Value) {
  return Get(Value, [&] { return ToBstr(FCtrl->GetDescription()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_AutoConnect(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FCtrl->GetAutoConnect()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_AutoConnect(VARIANT_BOOL Value) {
  return Run([&] { FCtrl->SetAutoConnect(FromVariantBool(Value)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::Request(BSTR Command) {
  return Run([&] { FCtrl->Request(FromBstr(Command)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_MediaTime(LONG* Value) {
  return Get(Value, [&] { return static_cast<LONG>(FCtrl->GetMediaTime()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_EnableCache(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FCtrl->GetEnableCache()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_EnableCache(VARIANT_BOOL Value) {
  return Run([&] { FCtrl->SetEnableCache(FromVariantBool(Value)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_bgColor(BSTR* Value) {
  return Get(Value, [&] { return ToBstr(FCtrl->GetbgColor()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_bgColor(BSTR Value) {
  return Run([&] { FCtrl->SetbgColor(FromBstr(Value)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_ContextMenu(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FCtrl->GetContextMenu()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_ContextMenu(VARIANT_BOOL Value) {
  return Run([&] { FCtrl->SetContextMenu(FromVariantBool(Value)); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::get_IgnoreTimestamp(VARIANT_BOOL* Value) {
  return Get(Value, [&] { return ToVariantBool(FCtrl->GetIgnoreTimestamp()); });
}

HRESULT STDMETHODCALLTYPE TBrindoluxObject::put_IgnoreTimestamp(VARIANT_BOOL Value) {
  return Run([&] { FCtrl->SetIgnoreTimestamp(FromVariantBool(Value)); });
}

// Window properties of the form.

std::wstring TBrindoluxObject::WindowCaption() const {
  const HWND window = FCtrl->Handle();
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return std::wstring();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, &text[0], length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return AnsiToWide(text);
}

void TBrindoluxObject::ApplyBorderStyle() {
  const HWND window = FCtrl->Handle();
  LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_BORDER);
  LONG_PTR exStyle =
      GetWindowLongPtrW(window, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME);
  switch (FForm.AxBorderStyle) {
    case afbSingle:
      style |= WS_BORDER;
      break;
    case afbSunken:
      exStyle |= WS_EX_CLIENTEDGE;
      break;
    case afbRaised:
      exStyle |= WS_EX_DLGMODALFRAME;
      break;
    default:
      break;
  }
  SetWindowLongPtrW(window, GWL_STYLE, style);
  SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle);
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TBrindoluxObject::ApplyFont() {
  LOGFONTW logFont{};
  HDC screen = GetDC(nullptr);
  const int pixelsPerInch = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  // Size is in 1/10,000 point; a point is 1/72 inch. A size from a saved
  // state is bounded first (GDI's own limit is far below 2,000 points), so
  // the product cannot overflow.
  constexpr int64_t kMaxFontSize = 2000 * 10000LL;
  const int64_t size = FForm.Font.Size < 0              ? 0
                       : FForm.Font.Size > kMaxFontSize ? kMaxFontSize
                                                        : FForm.Font.Size;
  const int64_t height = (size * pixelsPerInch + 360000) / 720000;
  logFont.lfHeight = -static_cast<LONG>(height);
  logFont.lfWeight = FForm.Font.Weight;
  logFont.lfItalic = FForm.Font.Italic;
  logFont.lfUnderline = FForm.Font.Underline;
  logFont.lfStrikeOut = FForm.Font.Strikethrough;
  logFont.lfCharSet = static_cast<BYTE>(FForm.Font.Charset);
  lstrcpynW(logFont.lfFaceName, FForm.Font.Name.c_str(), LF_FACESIZE);
  TFontHandle font(CreateFontIndirectW(&logFont));
  if (!font) throw EOleSysError(E_FAIL, "Cannot create the font");
  SendMessageW(FCtrl->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  FFont = std::move(font);
}

std::array<HWND, 4> TBrindoluxObject::ControlWindows() const {
  return {FCtrl->Handle(), FCtrl->DetailFrame().Handle(), FCtrl->DetailFrame().imgPic(),
          FCtrl->NailsFrame().Handle()};
}

LRESULT CALLBACK TBrindoluxObject::WindowSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                  UINT_PTR id, DWORD_PTR data) {
  auto* self = reinterpret_cast<TBrindoluxObject*>(data);
  // Messages from the engine and the mouse fire events outside any member;
  // a container may let go of the control inside one. The object lives
  // until the message is done (while it is being destroyed, the reference
  // taken here leaves its count above zero).
  const TComPtr<IUnknown> keep = TComPtr<IUnknown>::Share(self->Identity());
  if (id == kControlSubclassId && message == WM_SETCURSOR && LOWORD(lParam) == HTCLIENT) {
    const short cursor = self->FForm.Cursor;
    if (cursor == -1) {  // crNone
      SetCursor(nullptr);
      return TRUE;
    }
    if (LPCSTR shape = SystemCursor(cursor)) {
      SetCursor(LoadCursorA(nullptr, shape));
      return TRUE;
    }
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

// Hooks of the interface families.

HWND TBrindoluxObject::ControlWindow() const { return FCtrl->Handle(); }

void TBrindoluxObject::SetControlParent(HWND parent) { FCtrl->SetParentWindow(parent); }

void TBrindoluxObject::ClientSiteChanged(IOleClientSite* site) { FCtrl->SetClientSite(site); }

void TBrindoluxObject::UIActivationChanged(bool active) {
  if (active)
    FCtrl->Activated();
  else
    FCtrl->Deactivated();
}

void TBrindoluxObject::SinksChanged(bool connected) {
  if (FCtrl) FCtrl->AttachEventSink(connected ? &FConnectionPoint : nullptr);
}

void TBrindoluxObject::SaveIfDirty() {
  if (FCore.Dirty() && FCore.ClientSite()) FCore.ClientSite()->SaveObject();
}

TFormProperties TBrindoluxObject::SaveFormState() {
  TFormProperties properties = FForm;
  properties.Caption = WindowCaption();
  properties.Enabled = IsWindowEnabled(FCtrl->Handle()) != FALSE;
  return properties;
}

void TBrindoluxObject::LoadFormState(const TFormProperties& properties) {
  FForm = properties;
  const HWND window = FCtrl->Handle();
  SetWindowTextA(window, WideToAnsi(FForm.Caption).c_str());
  EnableWindow(window, FForm.Enabled ? TRUE : FALSE);
  ApplyBorderStyle();
  ApplyFont();
  InvalidateRect(window, nullptr, TRUE);
}

HRESULT TBrindoluxObject::ControlTypeInfo(REFGUID guid, ITypeInfo** info) {
  return FTypeLib->GetTypeInfoOfGuid(guid, info);
}
