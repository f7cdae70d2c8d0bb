// The library's entry function and its four exports (named in Hueshell.def).
#include <windows.h>
#include <objbase.h>

#include "classes.h"
#include "com_object.h"
#include "module.h"
#include "registrar.h"

using namespace hueshell;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    module::Attach(instance, LibraryClasses());
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    module::Detach();
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() { return module::CanUnload() ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return module::GetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer() {
  return Guarded([] {
    for (ClassEntry* row = module::Classes(); row->clsid; ++row) {
      const HRESULT hr = RunRegistrationScript(module::Instance(), row->script_id, true);
      if (FAILED(hr)) return hr;
    }
    return RegisterTypeLibrary(module::Instance());
  });
}

STDAPI DllUnregisterServer() {
  Guarded([] {
    for (ClassEntry* row = module::Classes(); row->clsid; ++row)
      RunRegistrationScript(module::Instance(), row->script_id, false);
    UnregisterTypeLibrary(module::Instance());
    return S_OK;
  });
  return S_OK;
}
