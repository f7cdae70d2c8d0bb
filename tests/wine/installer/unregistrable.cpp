// Stands in for a Hueshell.dll whose registration fails (as it does without write access to
// the registry), so that a setup made with it shows that a failed install undoes itself.
#include <windows.h>

extern "C" HRESULT __stdcall DllRegisterServer() { return E_ACCESSDENIED; }
extern "C" HRESULT __stdcall DllUnregisterServer() { return S_OK; }
