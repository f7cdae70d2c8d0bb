// A new class is a folder of its own (its sources and its name in shellext/CMakeLists.txt),
// a registration script <Name>.rgs (a REGISTRY resource in Hueshell.rc, numbered in
// resource.h), a coclass in Hueshell.idl and a row here.
#include "classes.h"

#include "context_menu.h"
#include "guids.h"
#include "info_tip.h"
#include "preview.h"
#include "properties.h"
#include "resource.h"
#include "thumbnail.h"

namespace hueshell {
namespace {

ClassEntry g_classes[] = {
    {&CLSID_ICCTip, CreateICCTip, IDR_ICCTIP, nullptr},
    {&CLSID_ICCMenu, CreateICCMenu, IDR_ICCMENU, nullptr},
    {&CLSID_ICCThumbnail, CreateICCThumbnail, IDR_ICCTHUMBNAIL, nullptr},
    {&CLSID_ICCProperties, CreateICCProperties, IDR_ICCPROPERTIES, nullptr},
    {&CLSID_ICCPreview, CreateICCPreview, 0, nullptr},  // script chosen for the process
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

ClassEntry* LibraryClasses() {
  for (ClassEntry* row = g_classes; row->clsid; ++row)
    if (row->create == CreateICCPreview) row->script_id = PreviewScriptId();
  return g_classes;
}

}  // namespace hueshell
