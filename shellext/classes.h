// The library's classes: one row each, above the server that serves them.
#pragma once

#include "module.h"

namespace hueshell {

// The class table, ended by a row whose CLSID is null; module::Attach takes it.
ClassEntry* LibraryClasses();

}  // namespace hueshell
