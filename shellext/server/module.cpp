#include "module.h"

#include "class_factory.h"

namespace hueshell {
namespace {

struct ShutdownNode {
  void (*fn)(void*);
  void* arg;
  ShutdownNode* next;
};

struct ServerModule {
  HINSTANCE instance = nullptr;
  ClassEntry* classes = nullptr;
  LONG lock_count = 0;
  HANDLE heap = nullptr;
  CRITICAL_SECTION type_info_lock;
  CRITICAL_SECTION class_table_lock;
  ShutdownNode* shutdown = nullptr;
};

ServerModule g_module;

}  // namespace

namespace module {

void Attach(HINSTANCE instance, ClassEntry* classes) {
  g_module.instance = instance;
  g_module.classes = classes;
  g_module.lock_count = 0;
  InitializeCriticalSection(&g_module.type_info_lock);
  InitializeCriticalSection(&g_module.class_table_lock);
  g_module.shutdown = nullptr;
  g_module.heap = HeapCreate(0, 0, 0);
}

void Detach() {
  for (ClassEntry* row = g_module.classes; row && row->clsid; ++row) {
    if (IUnknown* object = row->class_object.exchange(nullptr)) object->Release();
  }
  DeleteCriticalSection(&g_module.class_table_lock);
  DeleteCriticalSection(&g_module.type_info_lock);
  while (ShutdownNode* node = g_module.shutdown) {
    g_module.shutdown = node->next;
    node->fn(node->arg);
    Free(node);
  }
  if (g_module.heap) HeapDestroy(g_module.heap);
  g_module.heap = nullptr;
}

HINSTANCE Instance() { return g_module.instance; }
ClassEntry* Classes() { return g_module.classes; }

void Lock() { InterlockedIncrement(&g_module.lock_count); }
void Unlock() { InterlockedDecrement(&g_module.lock_count); }
bool CanUnload() { return InterlockedCompareExchange(&g_module.lock_count, 0, 0) == 0; }

void* Allocate(SIZE_T bytes) { return HeapAlloc(g_module.heap, 0, bytes ? bytes : 1); }
void Free(void* block) {
  if (block) HeapFree(g_module.heap, 0, block);
}

bool AddShutdownCallback(void (*fn)(void*), void* arg) {
  auto* node = static_cast<ShutdownNode*>(Allocate(sizeof(ShutdownNode)));
  if (!node) return false;
  node->fn = fn;
  node->arg = arg;
  EnterTypeInfoLock();
  node->next = g_module.shutdown;
  g_module.shutdown = node;
  LeaveTypeInfoLock();
  return true;
}

void EnterTypeInfoLock() { EnterCriticalSection(&g_module.type_info_lock); }
void LeaveTypeInfoLock() { LeaveCriticalSection(&g_module.type_info_lock); }

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  HRESULT hr = S_OK;
  for (ClassEntry* row = g_module.classes; row && row->clsid; ++row) {
    if (!IsEqualCLSID(*row->clsid, rclsid)) continue;
    if (!row->class_object.load(std::memory_order_acquire)) {
      EnterCriticalSection(&g_module.class_table_lock);
      if (!row->class_object.load(std::memory_order_acquire)) {
        IUnknown* object = nullptr;
        if (SUCCEEDED(CreateClassFactory(row->create, &object)))
          row->class_object.store(object, std::memory_order_release);
        else
          hr = E_OUTOFMEMORY;
      }
      LeaveCriticalSection(&g_module.class_table_lock);
    }
    if (IUnknown* object = row->class_object.load(std::memory_order_acquire))
      hr = object->QueryInterface(riid, ppv);
    break;
  }
  if (!*ppv && hr == S_OK) return CLASS_E_CLASSNOTAVAILABLE;
  return hr;
}

}  // namespace module
}  // namespace hueshell
