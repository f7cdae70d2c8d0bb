// IDispatch of the dual interfaces, served from the registered type library.  The type
// information is loaded once per interface (on first use, from the registry) and kept
// until the library leaves the process.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>

namespace hueshell {

class TypeInfoCache {
 public:
  explicit constexpr TypeInfoCache(const IID& iid) : iid_(&iid) {}

  HRESULT GetTypeInfoCount(UINT* pctinfo);
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** ppTInfo);
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);
  HRESULT Invoke(IDispatch* self, DISPID member, REFIID riid, LCID lcid, WORD flags,
                 DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* arg_error);

 private:
  struct Name {
    BSTR name;
    UINT length;
    DISPID id;
  };

  HRESULT Load(LCID lcid);
  HRESULT LoadLocked(LCID lcid);
  static void Shutdown(void* self);

  const IID* iid_;
  std::atomic<ITypeInfo*> info_{nullptr};
  Name* names_ = nullptr;
  UINT name_count_ = 0;
  bool shutdown_added_ = false;
};

// The four IDispatch methods of a class, forwarded to its cache; `Self` is the dual
// interface that ITypeInfo::Invoke calls through.
#define HUESHELL_FORWARD_IDISPATCH(cache, Self)                                                \
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {                         \
    return cache.GetTypeInfoCount(pctinfo);                                                    \
  }                                                                                            \
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {    \
    return cache.GetTypeInfo(index, lcid, info);                                               \
  }                                                                                            \
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, \
                                          DISPID* ids) override {                              \
    return cache.GetIDsOfNames(riid, names, count, lcid, ids);                                 \
  }                                                                                            \
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags,          \
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,  \
                                   UINT* arg_error) override {                                 \
    return cache.Invoke(static_cast<Self*>(this), member, riid, lcid, flags, params, result,   \
                        exception, arg_error);                                                 \
  }

}  // namespace hueshell
