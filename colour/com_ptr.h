// The one owner of a COM interface pointer in our Windows code: it holds one reference and
// releases it when it goes.  Windows only.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace colour {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes a reference of its own to `p`.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // For a function that hands over a reference: the old one is released first.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Hands the reference to the caller.
  T* detach() { return std::exchange(p_, nullptr); }

  // Asks the object for another interface; an empty pointer when it has none.
  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>* out) const {
    return p_ ? p_->QueryInterface(iid, out->put_void()) : E_POINTER;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace colour
