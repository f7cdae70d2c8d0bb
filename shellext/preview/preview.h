// ICCPreview: the preview pane of a colour profile.  Beside the file list it shows the
// profile's gamut on the CIE 1931 diagram (with sRGB's triangle dashed for comparison), its
// texts, the header's facts, the tag table and the verdict on its health, as text that can
// be selected and copied.  The pane reads the stream the host hands over and writes nothing.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace hueshell {

// The registration script for this process: a 32-bit library on 64-bit Windows is loaded
// by the 32-bit preview host, whose AppID differs from the native one.
UINT PreviewScriptId();

// Creation function of the class table.
HRESULT CreateICCPreview(IUnknown* outer, REFIID riid, void** ppv);

}  // namespace hueshell
