// The COM object root shared by every class of the library.
//
// A class derives from its interfaces and from ObjectRoot, lists its interfaces in a table
// of {IID, offset} rows and forwards the IUnknown methods of every interface to the root.
// The same code serves both forms:
//  - plain: the root keeps the reference count; IUnknown is answered with the row-1
//    interface, which is the object's identity;
//  - aggregated: the root holds the outer object, to which every interface delegates, and
//    an inner non-delegating IUnknown with its own count, which the outer object owns.
// Every live object holds one unit of the module's lock count.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <cstdint>
#include <new>

#include "module.h"

namespace hueshell {

struct InterfaceEntry {
  const IID* iid;          // null ends the table
  std::ptrdiff_t offset;   // from the ObjectRoot part of the object to the interface
};

class ObjectRoot {
 public:
  // Objects come from the module's private heap; a failed allocation gives null.
  static void* operator new(std::size_t bytes) noexcept { return module::Allocate(bytes); }
  static void operator delete(void* block) noexcept { module::Free(block); }

  ObjectRoot(const ObjectRoot&) = delete;
  ObjectRoot& operator=(const ObjectRoot&) = delete;

  // Creates an object of class T (constructed from `outer` and `args`) and asks it for
  // `riid`; a failed request destroys it again.
  template <class T, class... Args>
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv, Args... args) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    T* object = new T(outer, args...);
    if (!object) return E_OUTOFMEMORY;
    ObjectRoot* root = object;
    const HRESULT hr = outer ? root->inner_.QueryInterface(riid, ppv)
                             : root->QueryInterfaceOf(riid, ppv);
    if (FAILED(hr)) root->Destroy();
    return hr;
  }

 protected:
  explicit ObjectRoot(IUnknown* outer);
  virtual ~ObjectRoot();

  // The rows of the class's interface table, in search order.
  virtual const InterfaceEntry* Interfaces() const = 0;

  // What the IUnknown methods of every interface forward to.
  HRESULT QueryInterfaceOf(REFIID riid, void** ppv);
  ULONG AddRefOf();
  ULONG ReleaseOf();

 private:
  class InnerUnknown : public IUnknown {
   public:
    explicit InnerUnknown(ObjectRoot* root) : root_(root) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    ObjectRoot* root_;
  };

  HRESULT SearchTable(REFIID riid, void** ppv);
  IUnknown* Identity();
  void Destroy();

  InnerUnknown inner_;
  IUnknown* outer_;  // null in the plain form
  // Plain count, or the inner count of an aggregate; interlocked, for classes whose
  // threading model lets several threads call one object.
  LONG refs_ = 0;
};

// Offset of interface I inside class T, measured from T's ObjectRoot part.
template <class T, class I>
std::ptrdiff_t InterfaceOffset() {
  T* object = reinterpret_cast<T*>(std::uintptr_t(0x10000));
  return reinterpret_cast<char*>(static_cast<I*>(object)) -
         reinterpret_cast<char*>(static_cast<ObjectRoot*>(object));
}

// Holds a critical section for the span of a method.
class Locked {
 public:
  explicit Locked(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
  ~Locked() { LeaveCriticalSection(&section_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

// Runs the body of a COM method so that no C++ exception leaves it: the library's own code
// throws none, but the platform operations it calls are not all its own.
template <class Body>
HRESULT Guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// The three IUnknown methods of a class, forwarded to its root.
#define HUESHELL_FORWARD_IUNKNOWN                                                     \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {        \
    return QueryInterfaceOf(riid, ppv);                                               \
  }                                                                                   \
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefOf(); }                    \
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseOf(); }

}  // namespace hueshell
