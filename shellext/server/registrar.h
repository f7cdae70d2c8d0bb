// Self-registration: the interpreter of the registration scripts stored in the library
// (REGISTRY resources), and the registration of its type library.
//
// Script syntax: a root key ("HKCR") followed by a block in braces.  Inside a block each
// entry is either a key,
//     [NoRemove | ForceRemove] name [= s 'default value'] [{ block }]
// or a named string value of the enclosing key,
//     val name = s 'value'
// Names and values may be written in apostrophes, where '' stands for one apostrophe.
// Blanks, tabs and line ends separate words; braces and "=" are words of their own.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "module.h"

namespace hueshell {

// The registry operations the interpreter uses, by default the system's own.  Tests derive
// from it to make single operations fail.
class RegistryAccess {
 public:
  virtual ~RegistryAccess() = default;
  virtual LSTATUS OpenKey(HKEY parent, const wchar_t* name, REGSAM access, HKEY* key);
  virtual LSTATUS CreateKey(HKEY parent, const wchar_t* name, HKEY* key);
  virtual LSTATUS SetString(HKEY key, const wchar_t* value_name, const wchar_t* text);
  virtual LSTATUS DeleteValue(HKEY key, const wchar_t* value_name);
  virtual LSTATUS DeleteKey(HKEY parent, const wchar_t* name);
  // Deletes the key with everything below it, depth first.
  virtual LSTATUS DeleteTree(HKEY parent, const wchar_t* name);
  virtual bool HasSubkeys(HKEY key);
  virtual void CloseKey(HKEY key);
};

// Text from the COM task allocator, freed when the holder goes.
class TaskText {
 public:
  TaskText() = default;
  ~TaskText() { CoTaskMemFree(text_); }
  TaskText(const TaskText&) = delete;
  TaskText& operator=(const TaskText&) = delete;

  wchar_t* get() const { return text_; }
  bool Allocate(SIZE_T characters);

 private:
  wchar_t* text_ = nullptr;
};

// Replaces %MODULE% (any letter case) by `module`, and %% by one percent sign.  Any other
// name between percent signs, or a lone percent sign, gives DISP_E_EXCEPTION.
HRESULT ExpandScript(const wchar_t* script, const wchar_t* module, TaskText* out);

// Runs an expanded script in register or unregister mode.  "HKCR" stands for
// `classes_root`.  When a root block fails part-way in register mode, the block is run again
// in unregister mode and the failure returned.  Syntax errors give DISP_E_EXCEPTION.
HRESULT InterpretScript(const wchar_t* script, bool do_register, HKEY classes_root,
                        RegistryAccess& registry);

// The whole road for one REGISTRY resource of `module`: the module's file name as the
// %MODULE% replacement (apostrophes doubled), the script loaded from the file as data,
// expanded and interpreted against HKEY_CLASSES_ROOT.
HRESULT RunRegistrationScript(HINSTANCE module, UINT resource_id, bool do_register);

HRESULT RegisterTypeLibrary(HINSTANCE module);
// S_OK also when the type library is not registered.
HRESULT UnregisterTypeLibrary(HINSTANCE module);

// Registers the scripts of every row of `classes` and the type library of `module`; a
// failure part-way takes back all of it and is returned.  Unregistering goes on past a
// failure and returns the first one.
HRESULT RegisterServer(HINSTANCE module, const ClassEntry* classes, bool do_register);

}  // namespace hueshell
