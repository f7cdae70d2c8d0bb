// ICCTip: the info tip of a colour profile, five lines composed from the profile's `desc`
// text and four header fields.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "platform.h"

namespace hueshell {

// The name tables.  Each answers "Unknown" for a value it does not list.
const char* ClassName(DWORD signature);
const char* ColourSpaceName(DWORD signature);
const char* ConnectionSpaceName(DWORD signature);
const char* IntentName(DWORD intent);

// Composes the tip text of the profile at `path` into `text`, which is emptied first.  S_OK,
// E_FAIL (no path; profile, description or header unreadable) or E_OUTOFMEMORY.
HRESULT ComposeTip(const Platform& platform, const wchar_t* path, BSTR* text);

// Creation function of the class table; the second form stands platform operations in.
HRESULT CreateICCTip(IUnknown* outer, REFIID riid, void** ppv);
HRESULT CreateICCTipWith(const Platform& platform, IUnknown* outer, REFIID riid, void** ppv);

}  // namespace hueshell
