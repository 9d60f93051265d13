#pragma once
// Owns one reference to a COM interface.
#include <unknwn.h>

#include <utility>

template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  // Takes over a reference the caller already holds.
  explicit TComPtr(T* ptr) : FPtr(ptr) {}
  TComPtr(const TComPtr& other) : FPtr(other.FPtr) {
    if (FPtr) FPtr->AddRef();
  }
  TComPtr(TComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
  TComPtr& operator=(TComPtr other) noexcept {
    std::swap(FPtr, other.FPtr);
    return *this;
  }
  ~TComPtr() { Reset(); }

  // Adds a reference of its own.
  static TComPtr Share(T* ptr) {
    if (ptr) ptr->AddRef();
    return TComPtr(ptr);
  }

  void Reset() {
    if (FPtr) std::exchange(FPtr, nullptr)->Release();
  }
  // For out parameters: releases what is held first.
  T** Receive() {
    Reset();
    return &FPtr;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
  T* Detach() { return std::exchange(FPtr, nullptr); }

  template <class U>
  HRESULT As(TComPtr<U>& other) const {
    if (!FPtr) return E_POINTER;
    return FPtr->QueryInterface(__uuidof(U), other.ReceiveVoid());
  }

  T* Get() const { return FPtr; }
  T* operator->() const { return FPtr; }
  explicit operator bool() const { return FPtr != nullptr; }

 private:
  T* FPtr = nullptr;
};
