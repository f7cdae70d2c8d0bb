// Resource numbers of Hueshell.dll, shared by Hueshell.rc and the class table.
#pragma once

// REGISTRY resources: one registration script per class.
#define IDR_ICCTIP 101
#define IDR_ICCMENU 102
#define IDR_ICCTHUMBNAIL 103
#define IDR_ICCPROPERTIES 104
#define IDR_ICCPREVIEW 105
// ICCPreview's script for a 32-bit library on 64-bit Windows (the 32-bit preview host).
#define IDR_ICCPREVIEW32 106
