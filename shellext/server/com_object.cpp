#include "com_object.h"

namespace hueshell {

ObjectRoot::ObjectRoot(IUnknown* outer) : inner_(this), outer_(outer) { module::Lock(); }

ObjectRoot::~ObjectRoot() = default;

IUnknown* ObjectRoot::Identity() {
  const InterfaceEntry* rows = Interfaces();
  return reinterpret_cast<IUnknown*>(reinterpret_cast<char*>(this) + rows[0].offset);
}

HRESULT ObjectRoot::SearchTable(REFIID riid, void** ppv) {
  for (const InterfaceEntry* row = Interfaces(); row->iid; ++row) {
    if (IsEqualIID(*row->iid, riid)) {
      auto* found = reinterpret_cast<IUnknown*>(reinterpret_cast<char*>(this) + row->offset);
      found->AddRef();
      *ppv = found;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

HRESULT ObjectRoot::QueryInterfaceOf(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer_) {
    const HRESULT hr = outer_->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr)) return hr;
    *ppv = nullptr;
    return SearchTable(riid, ppv);
  }
  if (IsEqualIID(riid, IID_IUnknown)) {
    IUnknown* identity = Identity();
    identity->AddRef();
    *ppv = identity;
    return S_OK;
  }
  return SearchTable(riid, ppv);
}

ULONG ObjectRoot::AddRefOf() { return outer_ ? outer_->AddRef() : ULONG(InterlockedIncrement(&refs_)); }

ULONG ObjectRoot::ReleaseOf() {
  if (outer_) return outer_->Release();
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) Destroy();
  return ULONG(left);
}

void ObjectRoot::Destroy() {
  refs_ = 1;  // calls made while the object is torn down cannot start a second destruction
  module::Unlock();
  delete this;
}

HRESULT STDMETHODCALLTYPE ObjectRoot::InnerUnknown::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown)) {
    AddRef();
    *ppv = static_cast<IUnknown*>(this);
    return S_OK;
  }
  return root_->SearchTable(riid, ppv);
}

ULONG STDMETHODCALLTYPE ObjectRoot::InnerUnknown::AddRef() { return ULONG(InterlockedIncrement(&root_->refs_)); }

ULONG STDMETHODCALLTYPE ObjectRoot::InnerUnknown::Release() {
  const LONG left = InterlockedDecrement(&root_->refs_);
  if (left == 0) root_->Destroy();
  return ULONG(left);
}

}  // namespace hueshell
