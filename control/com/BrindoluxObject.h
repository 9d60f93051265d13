#pragma once
// The control as a COM object: IBrindolux (dual, with IDispatch from the
// embedded type library) and the OLE interfaces a container hosts it by.
// It carries one TBrindoluxCtrl and forwards the player's own members to it;
// the standard form members read and write the control's window or store
// their value. No exception leaves a COM member: a failure sets the error
// object and answers the failure result.
//
// Created by the class factory and freed by its last Release (the reference
// count is the owner).
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <type_traits>

#include "BrindoluxCtrl.h"
#include "BrindoluxTLB.h"
#include "ole/ComPtr.h"
#include "ole/ConnectionPoint.h"
#include "ole/FormProperties.h"
#include "ole/OleControl.h"
#include "ole/OleControlCore.h"
#include "ole/OleInPlaceActiveObject.h"
#include "ole/OleInPlaceObject.h"
#include "ole/OleObject.h"
#include "ole/PersistStreamInit.h"
#include "ole/ProvideClassInfo.h"
#include "ole/SupportErrorInfo.h"
#include "ole/ViewObject.h"

class TBrindoluxObject final : public IBrindolux,
                               public TOleObject,
                               public TOleInPlaceObject,
                               public TOleInPlaceActiveObject,
                               public TOleControl,
                               public TViewObject,
                               public TPersistStreamInit,
                               public TProvideClassInfo,
                               public TConnectionPointContainer,
                               public TSupportErrorInfo,
                               private TOleControlHooks,
                               private TConnectionListener {
 public:
  // Makes a control on the calling thread and answers interface iid of it.
  static HRESULT Create(REFIID iid, void** object) noexcept;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* dispids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) override;

  // IBrindolux: the form members.
  HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_AutoScroll(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_AutoScroll(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_AutoSize(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_AutoSize(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_AxBorderStyle(TxActiveFormBorderStyle* Value) override;
  HRESULT STDMETHODCALLTYPE put_AxBorderStyle(TxActiveFormBorderStyle Value) override;
  HRESULT STDMETHODCALLTYPE get_Caption(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_Caption(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_Color(OLE_COLOR* Value) override;
  HRESULT STDMETHODCALLTYPE put_Color(OLE_COLOR Value) override;
  HRESULT STDMETHODCALLTYPE get_Font(IFontDisp** Value) override;
  HRESULT STDMETHODCALLTYPE put_Font(IFontDisp* Value) override;
  HRESULT STDMETHODCALLTYPE get_KeyPreview(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_KeyPreview(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_PixelsPerInch(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE put_PixelsPerInch(LONG Value) override;
  HRESULT STDMETHODCALLTYPE get_PrintScale(TxPrintScale* Value) override;
  HRESULT STDMETHODCALLTYPE put_PrintScale(TxPrintScale Value) override;
  HRESULT STDMETHODCALLTYPE get_Scaled(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_Scaled(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_Active(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE get_DropTarget(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_DropTarget(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_HelpFile(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_HelpFile(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_DoubleBuffered(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_DoubleBuffered(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_VisibleDockClientCount(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_Cursor(short* Value) override;
  HRESULT STDMETHODCALLTYPE put_Cursor(short Value) override;

  // IBrindolux: the player's own members.
  HRESULT STDMETHODCALLTYPE LoadFile(BSTR Filename) override;
  HRESULT STDMETHODCALLTYPE SendScript(BSTR Str) override;
  HRESULT STDMETHODCALLTYPE Open(BSTR Filename) override;
  HRESULT STDMETHODCALLTYPE get_DisplayMode(TDisplayMode* Value) override;
  HRESULT STDMETHODCALLTYPE put_DisplayMode(TDisplayMode Value) override;
  HRESULT STDMETHODCALLTYPE Play() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Close() override;
  using TOleObject::Close;
  HRESULT STDMETHODCALLTYPE FastForward() override;
  HRESULT STDMETHODCALLTYPE FastReverse() override;
  HRESULT STDMETHODCALLTYPE get_CurrentPosition(LONG* Milliseconds) override;
  HRESULT STDMETHODCALLTYPE put_CurrentPosition(LONG Milliseconds) override;
  HRESULT STDMETHODCALLTYPE get_Duration(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE get_LocalIP(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_LocalIP(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_Max(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE get_Min(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE get_FullScreen(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_FullScreen(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_URL(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_URL(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_Status(TStatus* Value) override;
  HRESULT STDMETHODCALLTYPE get_AutoStart(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_AutoStart(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_KRMWidth(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE get_KRMHeight(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE get_InitialColor(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE put_InitialColor(LONG Value) override;
  HRESULT STDMETHODCALLTYPE get_Host(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_ChannelName(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_Title(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_Author(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_Copyright(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_Description(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_AutoConnect(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_AutoConnect(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE Request(BSTR Command) override;
  HRESULT STDMETHODCALLTYPE get_MediaTime(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE get_EnableCache(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_EnableCache(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_bgColor(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE put_bgColor(BSTR Value) override;
  HRESULT STDMETHODCALLTYPE get_ContextMenu(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_ContextMenu(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_IgnoreTimestamp(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_IgnoreTimestamp(VARIANT_BOOL Value) override;

 private:
  struct TFontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
  };
  using TFontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, TFontDeleter>;

  TBrindoluxObject();
  ~TBrindoluxObject();
  TBrindoluxObject(const TBrindoluxObject&) = delete;
  TBrindoluxObject& operator=(const TBrindoluxObject&) = delete;

  IUnknown* Identity() { return static_cast<IBrindolux*>(this); }

  // Runs a member's body; a failure is remembered for Invoke's EXCEPINFO.
  template <class TBody>
  HRESULT Run(TBody&& body) noexcept {
    // A container may let go of the control inside an event that a member
    // fires; the object outlives the member.
    TComPtr<IUnknown> self = TComPtr<IUnknown>::Share(Identity());
    try {
      body();
      return S_OK;
    } catch (...) {
      return Failed();
    }
  }
  HRESULT Failed() noexcept;
  // A getter: checks the out pointer, then stores what get() answers. A
  // failing getter leaves it empty, so a caller that frees what it got
  // frees nothing.
  template <class T, class TGet>
  HRESULT Get(T* value, TGet&& get) noexcept {
    if (!value) return E_POINTER;
    *value = T{};
    return Run([&] { *value = get(); });
  }
  // Stores into field and marks the form state changed.
  template <class T, class U>
  HRESULT Store(T& field, U value) noexcept {
    field = static_cast<T>(value);
    FCore.SetDirty(true);
    return S_OK;
  }

  void ApplyBorderStyle();
  void ApplyFont();
  std::wstring WindowCaption() const;
  // The control's window, the picture's frame and picture and the thumbnail
  // strip, which all carry WindowSubclass.
  std::array<HWND, 4> ControlWindows() const;
  static LRESULT CALLBACK WindowSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR data);

  // TOleControlHooks
  HWND ControlWindow() const override;
  void SetControlParent(HWND parent) override;
  void ClientSiteChanged(IOleClientSite* site) override;
  void UIActivationChanged(bool active) override;
  IUnknown* ControlUnknown() override { return Identity(); }
  // TConnectionListener
  void SinksChanged(bool connected) override;
  // The interface families' needs.
  TOleControlCore& Core() override { return FCore; }
  void SaveIfDirty() override;
  TFormProperties SaveFormState() override;
  void LoadFormState(const TFormProperties& properties) override;
  HRESULT ControlTypeInfo(REFGUID guid, ITypeInfo** info) override;
  TConnectionPoint& EventsConnectionPoint() override { return FConnectionPoint; }

  // The count while the destructor runs: far from zero either way.
  static constexpr ULONG kDestroyingRefs = 0x40000000;
  std::atomic<ULONG> FRefs{1};
  TComPtr<ITypeLib> FTypeLib;
  TComPtr<ITypeInfo> FTypeInfo;
  TOleControlCore FCore;
  TConnectionPoint FConnectionPoint;
  TFormProperties FForm;
  TFontHandle FFont;
  std::unique_ptr<TBrindoluxCtrl> FCtrl;
  // The last member failure, for the EXCEPINFO of IDispatch::Invoke.
  bool FFailed = false;
  HRESULT FFailureCode = S_OK;
  std::wstring FFailureText;
};
