// Identifiers of the library's classes, interfaces and type library, and the interface
// declarations generated from Hueshell.idl.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

#include "Hueshell_h.h"
