#include "class_factory.h"

#include <new>

namespace hueshell {
namespace {

// The reference that the class table holds does not keep the library loaded; any number
// of references from outside keep it loaded as one unit of the module's lock count.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(CreateInstanceFn create) : create_(create) {
    InitializeCriticalSection(&lock_);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
      return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
  }

  ULONG STDMETHODCALLTYPE AddRef() override {
    EnterCriticalSection(&lock_);
    const LONG count = InterlockedIncrement(&refs_);
    if (count == 2) module::Lock();
    LeaveCriticalSection(&lock_);
    return ULONG(count);
  }

  ULONG STDMETHODCALLTYPE Release() override {
    EnterCriticalSection(&lock_);
    const LONG count = InterlockedDecrement(&refs_);
    if (count == 1) module::Unlock();
    LeaveCriticalSection(&lock_);
    if (count == 0) {
      DeleteCriticalSection(&lock_);
      this->~ClassFactory();
      module::Free(this);
    }
    return ULONG(count);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return create_(outer, riid, ppv);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      module::Lock();
    else
      module::Unlock();
    return S_OK;
  }

 private:
  ~ClassFactory() = default;

  LONG refs_ = 0;
  CRITICAL_SECTION lock_;
  CreateInstanceFn create_;
};

}  // namespace

HRESULT CreateClassFactory(CreateInstanceFn create, IUnknown** out) {
  *out = nullptr;
  void* block = module::Allocate(sizeof(ClassFactory));
  if (!block) return E_OUTOFMEMORY;
  auto* factory = new (block) ClassFactory(create);
  return factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out));
}

}  // namespace hueshell
