// The library's module state: lock count, private heap, class table and the callbacks run
// when the library leaves the process.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <atomic>

namespace hueshell {

using CreateInstanceFn = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// One row per class; a row whose CLSID is null ends the table.
struct ClassEntry {
  const CLSID* clsid;
  CreateInstanceFn create;
  UINT script_id;            // REGISTRY resource with the class's registration script
  // The cached class object, one reference owned; null until first asked for.  Read without
  // the class-table lock, so that a creation on another thread is seen whole.
  std::atomic<IUnknown*> class_object;
};

namespace module {

// Process attach and detach; DllMain calls these, test programs may call them directly.
// `classes` is the table of the classes served, kept until Detach.
void Attach(HINSTANCE instance, ClassEntry* classes);
void Detach();

HINSTANCE Instance();
ClassEntry* Classes();

void Lock();
void Unlock();
bool CanUnload();

// The private heap.  Allocate returns null when memory is short.
void* Allocate(SIZE_T bytes);
void Free(void* block);

// Runs `fn(arg)` at detach, newest first.  False when no node could be allocated.
bool AddShutdownCallback(void (*fn)(void*), void* arg);

// Serialises the loading of type information (and the callback list).
void EnterTypeInfoLock();
void LeaveTypeInfoLock();

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

}  // namespace module
}  // namespace hueshell
