#include "platform.h"

#include "colour_service.h"

namespace hueshell {

const Platform& DefaultPlatform() {
  static const Platform platform = {
      colour::OpenColorProfileW, colour::CloseColorProfile, colour::GetColorProfileHeader,
      colour::GetColorProfileElement, colour::GetColorDirectoryW, ::SysAllocStringLen,
      ::SHGetMalloc, ::InsertMenuW, ::GetFocus, ::SHBrowseForFolderW, ::SHGetPathFromIDListW,
      ::SHFileOperationW,
  };
  return platform;
}

}  // namespace hueshell
