// The library's entry function and its four exports (named in Hueshell.def).
#include <windows.h>
#include <objbase.h>

#include "classes.h"
#include "com_object.h"
#include "module.h"
#include "registrar.h"

using namespace hueshell;

namespace __gnu_cxx {
// The C++ runtime's emergency pool for exceptions (tens of kilobytes), which it never gives
// back by itself: linked statically, every load of the library would leave one behind.
void __freeres();
}  // namespace __gnu_cxx

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    module::Attach(instance, LibraryClasses());
    DisableThreadLibraryCalls(instance);
#if defined(__i386__)
    // The 32-bit runtime registers its unwind tables through the thread library, which
    // keeps a thread-local slot, a record and two handles that no unload gives back; after
    // about a thousand loads the process would run out of thread-local slots.  Loaded once,
    // the library stays until the process ends.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&DllMain), &self);
#endif
  } else if (reason == DLL_PROCESS_DETACH) {
    module::Detach();
    __gnu_cxx::__freeres();
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() { return module::CanUnload() ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return module::GetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer() {
  return Guarded([] { return RegisterServer(module::Instance(), module::Classes(), true); });
}

STDAPI DllUnregisterServer() {
  return Guarded([] { return RegisterServer(module::Instance(), module::Classes(), false); });
}
