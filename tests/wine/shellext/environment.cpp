// The classes' tests link the library's code directly: the module state is set up once
// for the whole program, as process attach does for the library.
#include <gtest/gtest.h>
#include <windows.h>

#include "classes.h"

namespace {

class ModuleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { hueshell::module::Attach(GetModuleHandleA(nullptr), hueshell::LibraryClasses()); }
  void TearDown() override { hueshell::module::Detach(); }
};

::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);

}  // namespace
