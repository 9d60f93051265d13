#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "OleError.h"

namespace {

std::wstring MessageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EOleError& error) {
    return error.Message();
  }
  return L"(no error)";
}

HRESULT STDAPICALLTYPE FillIn(EXCEPINFO* info) {
  info->bstrDescription = SysAllocString(L"filled in late");
  info->scode = E_ACCESSDENIED;
  return S_OK;
}

// An object that says nothing about error information.
struct TSilentObject : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (iid != IID_IUnknown) return E_NOINTERFACE;
    *object = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

TEST(OleError, DescriptionsComeFromTheCallThatFailed) {
  EXPECT_EQ(MessageOf([] { EOleError::Check(S_OK, nullptr, IID_IUnknown); }), L"(no error)");
  {
    SCOPED_TRACE("EXCEPINFO with its description");
    EXCEPINFO info{};
    info.bstrDescription = SysAllocString(L"Cannot open the channel file");
    EXPECT_EQ(MessageOf([&] { EOleError::CheckInvoke(DISP_E_EXCEPTION, info); }),
              L"Cannot open the channel file");
    EXPECT_EQ(info.bstrDescription, nullptr);  // freed
  }
  {
    SCOPED_TRACE("EXCEPINFO filled in on demand");
    EXCEPINFO info{};
    info.pfnDeferredFillIn = FillIn;
    EXPECT_EQ(MessageOf([&] { EOleError::CheckInvoke(DISP_E_EXCEPTION, info); }), L"filled in late");
  }
  {
    SCOPED_TRACE("a failure of Invoke itself: the system's text");
    EXCEPINFO info{};
    EXPECT_EQ(MessageOf([&] { EOleError::CheckInvoke(DISP_E_MEMBERNOTFOUND, info); }),
              EOleError::SystemText(DISP_E_MEMBERNOTFOUND));
  }
  {
    SCOPED_TRACE("error information left by someone else is not this failure's");
    ICreateErrorInfo* create = nullptr;
    ASSERT_HRESULT_SUCCEEDED(CreateErrorInfo(&create));
    create->SetDescription(const_cast<LPOLESTR>(L"stale"));
    IErrorInfo* stale = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&stale));
    SetErrorInfo(0, stale);
    stale->Release();
    create->Release();
    TSilentObject object;
    EXPECT_EQ(MessageOf([&] { EOleError::Check(E_FAIL, &object, IID_IUnknown); }),
              EOleError::SystemText(E_FAIL));
    SetErrorInfo(0, nullptr);
  }
  EXPECT_FALSE(EOleError::SystemText(static_cast<HRESULT>(0xA0001234)).empty());
}

}  // namespace
