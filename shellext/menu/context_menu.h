// ICCMenu: the context-menu command for selected profiles.  A selection whose first name
// lies outside the colour directory is offered "Copy to Color Folder"; one whose first
// name lies under it is offered "Move to a Backup Folder".
#pragma once

#include <windows.h>

#include "platform.h"

namespace hueshell {

// Creation function of the class table; the second form stands platform operations in.
HRESULT CreateICCMenu(IUnknown* outer, REFIID riid, void** ppv);
HRESULT CreateICCMenuWith(const Platform& platform, IUnknown* outer, REFIID riid, void** ppv);

}  // namespace hueshell
