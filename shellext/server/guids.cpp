// Instantiates the identifiers that the generated header declares (and only those: the
// system headers are already included without INITGUID).
#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

#include <initguid.h>

#include "guids.h"
