#include "platform.h"

#include "colour_service.h"

namespace hueshell {

const Platform& DefaultPlatform() {
  static const Platform platform = {
      colour::OpenColorProfileA, colour::CloseColorProfile, colour::GetColorProfileHeader,
      colour::GetColorProfileElement, colour::GetColorDirectoryA, ::SysAllocStringLen,
      ::SHGetMalloc, ::DragQueryFileA, ::InsertMenuA, ::GetFocus, ::SHBrowseForFolderA,
      ::SHGetPathFromIDListA, ::SHFileOperationA,
  };
  return platform;
}

}  // namespace hueshell
