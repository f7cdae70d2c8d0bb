#include "dispatch.h"

#include "com_ptr.h"
#include "guids.h"
#include "module.h"

namespace hueshell {
namespace {

constexpr WORD kMajor = 1;
constexpr WORD kMinor = 0;

}  // namespace

HRESULT TypeInfoCache::Load(LCID lcid) {
  if (info_.load(std::memory_order_acquire)) return S_OK;
  module::EnterTypeInfoLock();
  const HRESULT hr = info_.load(std::memory_order_acquire) ? S_OK : LoadLocked(lcid);
  const bool add = !shutdown_added_;
  shutdown_added_ = true;
  module::LeaveTypeInfoLock();
  // One callback per cache is enough: it clears whatever was loaded by then.
  if (add && !module::AddShutdownCallback(Shutdown, this)) {
    module::EnterTypeInfoLock();
    shutdown_added_ = false;
    module::LeaveTypeInfoLock();
  }
  return hr;
}

HRESULT TypeInfoCache::LoadLocked(LCID lcid) {
  colour::ComPtr<ITypeLib> library;
  HRESULT hr = LoadRegTypeLib(LIBID_HUESHELLLib, kMajor, kMinor, lcid, library.put());
  if (FAILED(hr)) return hr;
  colour::ComPtr<ITypeInfo> info;
  hr = library->GetTypeInfoOfGuid(*iid_, info.put());
  if (FAILED(hr)) return hr;
  colour::ComPtr<ITypeInfo2> info2;
  if (SUCCEEDED(info.As(IID_ITypeInfo2, &info2))) info = colour::ComPtr<ITypeInfo>(info2.get());

  TYPEATTR* attributes = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
    const UINT functions = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    if (functions != 0) {
      names_ = static_cast<Name*>(module::Allocate(sizeof(Name) * functions));
      if (!names_) return E_OUTOFMEMORY;
      for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* function = nullptr;
        if (FAILED(info->GetFuncDesc(i, &function))) continue;
        BSTR name = nullptr;
        const MEMBERID id = function->memid;
        info->ReleaseFuncDesc(function);
        if (FAILED(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) continue;
        names_[name_count_++] = {name, SysStringLen(name), id};
      }
    }
  }
  info_.store(info.detach(), std::memory_order_release);
  return S_OK;
}

void TypeInfoCache::Shutdown(void* self) {
  auto* cache = static_cast<TypeInfoCache*>(self);
  if (ITypeInfo* info = cache->info_.exchange(nullptr)) info->Release();
  for (UINT i = 0; i < cache->name_count_; ++i) SysFreeString(cache->names_[i].name);
  module::Free(cache->names_);
  cache->names_ = nullptr;
  cache->name_count_ = 0;
}

HRESULT TypeInfoCache::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}

HRESULT TypeInfoCache::GetTypeInfo(UINT, LCID lcid, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  const HRESULT hr = Load(lcid);
  ITypeInfo* info = info_.load(std::memory_order_acquire);
  *ppTInfo = info;
  if (!info) return FAILED(hr) ? hr : E_FAIL;
  info->AddRef();
  return S_OK;
}

HRESULT TypeInfoCache::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid,
                                     DISPID* ids) {
  const HRESULT hr = Load(lcid);
  ITypeInfo* info = info_.load(std::memory_order_acquire);
  if (!info) return FAILED(hr) ? hr : E_FAIL;
  if (count != 0 && (!names || !ids)) return E_POINTER;
  for (UINT n = 0; n < count; ++n) {
    const UINT length = names[n] ? UINT(lstrlenW(names[n])) : 0;
    bool found = false;
    for (UINT i = name_count_; i-- > 0;) {
      if (names_[i].length == length &&
          memcmp(names_[i].name, names[n], length * sizeof(WCHAR)) == 0) {
        ids[n] = names_[i].id;
        found = true;
        break;
      }
    }
    // The type information resolves the whole array as soon as one name is not cached.
    if (!found) return info->GetIDsOfNames(names, count, ids);
  }
  return S_OK;
}

HRESULT TypeInfoCache::Invoke(IDispatch* self, DISPID member, REFIID, LCID lcid, WORD flags,
                              DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                              UINT* arg_error) {
  const HRESULT hr = Load(lcid);
  ITypeInfo* info = info_.load(std::memory_order_acquire);
  if (!info) return FAILED(hr) ? hr : E_FAIL;
  return info->Invoke(self, member, flags, params, result, exception, arg_error);
}

}  // namespace hueshell
