// The class object that serves every row of the class table.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "module.h"

namespace hueshell {

// Makes a class object bound to `create` and returns its IUnknown (one reference).
HRESULT CreateClassFactory(CreateInstanceFn create, IUnknown** out);

}  // namespace hueshell
