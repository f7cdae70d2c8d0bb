#include "registrar.h"

#include <oleauto.h>

#include "com_ptr.h"
#include "module.h"

namespace hueshell {

LSTATUS RegistryAccess::OpenKey(HKEY parent, const wchar_t* name, REGSAM access, HKEY* key) {
  return RegOpenKeyExW(parent, name, 0, access, key);
}

LSTATUS RegistryAccess::CreateKey(HKEY parent, const wchar_t* name, HKEY* key) {
  return RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                         nullptr, key, nullptr);
}

LSTATUS RegistryAccess::SetString(HKEY key, const wchar_t* value_name, const wchar_t* text) {
  const DWORD bytes = DWORD((lstrlenW(text) + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

LSTATUS RegistryAccess::DeleteValue(HKEY key, const wchar_t* value_name) {
  return RegDeleteValueW(key, value_name);
}

LSTATUS RegistryAccess::DeleteKey(HKEY parent, const wchar_t* name) {
  return RegDeleteKeyW(parent, name);
}

LSTATUS RegistryAccess::DeleteTree(HKEY parent, const wchar_t* name) {
  return RegDeleteTreeW(parent, name);
}

bool RegistryAccess::HasSubkeys(HKEY key) {
  DWORD subkeys = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return true;  // unknown: keep the key
  return subkeys != 0;
}

void RegistryAccess::CloseKey(HKEY key) { RegCloseKey(key); }

bool TaskText::Allocate(SIZE_T characters) {
  CoTaskMemFree(text_);
  text_ = static_cast<wchar_t*>(CoTaskMemAlloc(characters * sizeof(wchar_t)));
  return text_ != nullptr;
}

namespace {

bool SameText(const wchar_t* a, SIZE_T length, const wchar_t* b) {
  return SIZE_T(lstrlenW(b)) == length &&
         CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a, int(length), b, int(length)) ==
             CSTR_EQUAL;
}

// ---- Expansion of %NAME% -------------------------------------------------------------

HRESULT ExpandInto(const wchar_t* script, const wchar_t* module, wchar_t* out, SIZE_T* length) {
  const SIZE_T module_length = SIZE_T(lstrlenW(module));
  SIZE_T n = 0;
  for (const wchar_t* p = script; *p; ++p) {
    if (*p != L'%') {
      if (out) out[n] = *p;
      ++n;
      continue;
    }
    const wchar_t* name = p + 1;
    const wchar_t* close = name;
    while (*close && *close != L'%') ++close;
    if (!*close) return DISP_E_EXCEPTION;
    const SIZE_T name_length = SIZE_T(close - name);
    if (name_length == 0) {
      if (out) out[n] = L'%';
      ++n;
    } else if (SameText(name, name_length, L"MODULE")) {
      if (out) memcpy(out + n, module, module_length * sizeof(wchar_t));
      n += module_length;
    } else {
      return DISP_E_EXCEPTION;
    }
    p = close;
  }
  if (out) out[n] = L'\0';
  *length = n;
  return S_OK;
}

// ---- Words of a script ---------------------------------------------------------------

struct Token {
  const wchar_t* start = nullptr;  // for quoted words: the first character inside
  SIZE_T length = 0;
  bool quoted = false;
  bool end = false;     // no more words
  bool broken = false;  // an apostrophe that is never closed
};

class Scanner {
 public:
  explicit Scanner(const wchar_t* text) : p_(text) {}

  const wchar_t* Position() const { return p_; }
  void Seek(const wchar_t* position) { p_ = position; }

  Token Next() {
    Token t;
    while (*p_ == L' ' || *p_ == L'\t' || *p_ == L'\r' || *p_ == L'\n') ++p_;
    if (!*p_) {
      t.end = true;
      return t;
    }
    if (*p_ == L'\'') {
      t.quoted = true;
      t.start = ++p_;
      for (;;) {
        if (!*p_) {
          t.broken = true;
          return t;
        }
        if (*p_ == L'\'') {
          if (p_[1] != L'\'') break;
          p_ += 2;
          continue;
        }
        ++p_;
      }
      t.length = SIZE_T(p_ - t.start);
      ++p_;
      return t;
    }
    t.start = p_;
    while (*p_ && *p_ != L' ' && *p_ != L'\t' && *p_ != L'\r' && *p_ != L'\n') ++p_;
    t.length = SIZE_T(p_ - t.start);
    return t;
  }

  Token Peek() {
    const wchar_t* at = p_;
    Token t = Next();
    p_ = at;
    return t;
  }

 private:
  const wchar_t* p_;
};

bool IsSymbol(const Token& t, wchar_t symbol) {
  return !t.quoted && !t.end && t.length == 1 && t.start[0] == symbol;
}

bool IsKeyword(const Token& t, const wchar_t* word) {
  return !t.quoted && !t.end && SameText(t.start, t.length, word);
}

bool IsName(const Token& t) {
  return !t.end && !t.broken && (t.quoted || (t.length != 0 && !IsSymbol(t, L'{') &&
                                               !IsSymbol(t, L'}') && !IsSymbol(t, L'=')));
}

// The text of a word, with '' turned back into ', from the module's heap.
class TokenText {
 public:
  TokenText() = default;
  ~TokenText() { module::Free(text_); }
  TokenText(const TokenText&) = delete;
  TokenText& operator=(const TokenText&) = delete;

  bool Set(const Token& t) {
    module::Free(text_);
    text_ = static_cast<wchar_t*>(module::Allocate((t.length + 1) * sizeof(wchar_t)));
    if (!text_) return false;
    SIZE_T n = 0;
    for (SIZE_T i = 0; i < t.length; ++i) {
      text_[n++] = t.start[i];
      if (t.quoted && t.start[i] == L'\'') ++i;
    }
    text_[n] = L'\0';
    return true;
  }
  const wchar_t* get() const { return text_; }

 private:
  wchar_t* text_ = nullptr;
};

// ---- The interpreter -----------------------------------------------------------------

class Interpreter {
 public:
  Interpreter(RegistryAccess& registry, HKEY root) : registry_(registry), root_(root) {}

  HRESULT Run(const wchar_t* script, bool do_register) {
    // A first pass only reads the words, so that a malformed script writes nothing.
    HRESULT hr = Roots(script, do_register, false);
    if (FAILED(hr)) return hr;
    return Roots(script, do_register, true);
  }

 private:
  HRESULT Roots(const wchar_t* script, bool do_register, bool execute) {
    Scanner s(script);
    for (;;) {
      const Token root = s.Next();
      if (root.end) return S_OK;
      if (!IsKeyword(root, L"HKCR") && !IsKeyword(root, L"HKEY_CLASSES_ROOT"))
        return DISP_E_EXCEPTION;
      if (!IsSymbol(s.Next(), L'{')) return DISP_E_EXCEPTION;
      const wchar_t* block = s.Position();
      const HRESULT hr = Block(s, root_, do_register, execute);
      if (FAILED(hr)) {
        if (do_register && execute) {
          s.Seek(block);
          Block(s, root_, false, true);
        }
        return hr;
      }
    }
  }

  // Reads entries up to the closing brace; `execute` false only checks the words.
  HRESULT Block(Scanner& s, HKEY parent, bool do_register, bool execute) {
    for (;;) {
      Token t = s.Next();
      if (t.end || t.broken) return DISP_E_EXCEPTION;
      if (IsSymbol(t, L'}')) return S_OK;
      const HRESULT hr = IsKeyword(t, L"val") ? Value(s, parent, do_register, execute)
                                               : Key(s, t, parent, do_register, execute);
      if (FAILED(hr)) return hr;
    }
  }

  // "= s 'text'"
  static HRESULT Assignment(Scanner& s, Token* text) {
    if (!IsSymbol(s.Next(), L'=')) return DISP_E_EXCEPTION;
    if (!IsKeyword(s.Next(), L"s")) return DISP_E_EXCEPTION;
    *text = s.Next();
    return IsName(*text) ? S_OK : DISP_E_EXCEPTION;
  }

  HRESULT Value(Scanner& s, HKEY parent, bool do_register, bool execute) {
    const Token name = s.Next();
    if (!IsName(name)) return DISP_E_EXCEPTION;
    Token text;
    HRESULT hr = Assignment(s, &text);
    if (FAILED(hr) || !execute) return hr;
    TokenText name_text, value_text;
    if (!name_text.Set(name) || !value_text.Set(text)) return E_OUTOFMEMORY;
    if (do_register)
      registry_.SetString(parent, name_text.get(), value_text.get());
    else
      registry_.DeleteValue(parent, name_text.get());
    return S_OK;
  }

  static bool Protected(const wchar_t* name) {
    return lstrcmpiW(name, L"CLSID") == 0 || lstrcmpiW(name, L"TYPELIB") == 0;
  }

  HRESULT Key(Scanner& s, Token t, HKEY parent, bool do_register, bool execute) {
    bool no_remove = false, force_remove = false;
    for (;; t = s.Next()) {
      if (IsKeyword(t, L"NoRemove"))
        no_remove = true;
      else if (IsKeyword(t, L"ForceRemove"))
        force_remove = true;
      else
        break;
    }
    if (!IsName(t)) return DISP_E_EXCEPTION;
    const Token name = t;
    Token text;
    bool has_value = false;
    if (IsSymbol(s.Peek(), L'=')) {
      const HRESULT hr = Assignment(s, &text);
      if (FAILED(hr)) return hr;
      has_value = true;
    }
    const bool has_block = IsSymbol(s.Peek(), L'{');
    if (has_block) s.Next();
    if (!execute) return has_block ? Block(s, parent, do_register, false) : S_OK;

    TokenText name_text, value_text;
    if (!name_text.Set(name) || (has_value && !value_text.Set(text))) return E_OUTOFMEMORY;
    return do_register
               ? RegisterKey(s, parent, name_text.get(), has_value ? value_text.get() : nullptr,
                             force_remove, has_block)
               : UnregisterKey(s, parent, name_text.get(), no_remove, has_block);
  }

  HRESULT RegisterKey(Scanner& s, HKEY parent, const wchar_t* name, const wchar_t* value,
                      bool force_remove, bool has_block) {
    if (force_remove && !Protected(name)) registry_.DeleteTree(parent, name);
    HKEY key = nullptr;
    if (registry_.OpenKey(parent, name, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS &&
        registry_.OpenKey(parent, name, KEY_READ, &key) != ERROR_SUCCESS &&
        registry_.CreateKey(parent, name, &key) != ERROR_SUCCESS)
      return DISP_E_EXCEPTION;
    if (value) registry_.SetString(key, nullptr, value);
    const HRESULT hr = has_block ? Block(s, key, true, true) : S_OK;
    registry_.CloseKey(key);
    return hr;
  }

  HRESULT UnregisterKey(Scanner& s, HKEY parent, const wchar_t* name, bool no_remove,
                        bool has_block) {
    HKEY key = nullptr;
    if (registry_.OpenKey(parent, name, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS &&
        registry_.OpenKey(parent, name, KEY_READ, &key) != ERROR_SUCCESS)
      return has_block ? Block(s, parent, false, false) : S_OK;
    const HRESULT hr = has_block ? Block(s, key, false, true) : S_OK;
    const bool keep = registry_.HasSubkeys(key);
    registry_.CloseKey(key);
    if (FAILED(hr)) return hr;
    // CLSID and TypeLib directly under the root are shared by every server.
    const bool shared = parent == root_ && Protected(name);
    if (!keep && !no_remove && !shared) registry_.DeleteKey(parent, name);
    return S_OK;
  }

  RegistryAccess& registry_;
  HKEY root_;
};

// ---- Loading from the library file -----------------------------------------------------

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

class DataFile {
 public:
  explicit DataFile(const wchar_t* path) : h_(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~DataFile() {
    if (h_) FreeLibrary(h_);
  }
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;
  HMODULE get() const { return h_; }

 private:
  HMODULE h_;
};

// The replacement for %MODULE%: the file name with every apostrophe doubled.
HRESULT ModuleReplacement(const wchar_t* path, TaskText* out) {
  if (!out->Allocate((SIZE_T(lstrlenW(path)) + 1) * 2)) return E_OUTOFMEMORY;
  wchar_t* o = out->get();
  for (const wchar_t* p = path; *p; ++p) {
    *o++ = *p;
    if (*p == L'\'') *o++ = L'\'';
  }
  *o = L'\0';
  return S_OK;
}

// The library's real name, in UTF-16: an ANSI form could name another file, or none.  A
// name that fills the whole buffer has been cut: registering it would name another file.
HRESULT ModuleFileName(HINSTANCE module, wchar_t (&path)[MAX_PATH + 1]) {
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0) return LastErrorResult();
  if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  path[length] = L'\0';
  return S_OK;
}

}  // namespace

HRESULT ExpandScript(const wchar_t* script, const wchar_t* module, TaskText* out) {
  SIZE_T length = 0;
  HRESULT hr = ExpandInto(script, module, nullptr, &length);
  if (FAILED(hr)) return hr;
  if (!out->Allocate(length + 1)) return E_OUTOFMEMORY;
  return ExpandInto(script, module, out->get(), &length);
}

HRESULT InterpretScript(const wchar_t* script, bool do_register, HKEY classes_root,
                        RegistryAccess& registry) {
  return Interpreter(registry, classes_root).Run(script, do_register);
}

HRESULT RunRegistrationScript(HINSTANCE module, UINT resource_id, bool do_register) {
  wchar_t path[MAX_PATH + 1];
  HRESULT hr = ModuleFileName(module, path);
  if (FAILED(hr)) return hr;
  TaskText replacement;
  hr = ModuleReplacement(path, &replacement);
  if (FAILED(hr)) return hr;

  TaskText script;
  {
    DataFile file(path);
    if (!file.get()) return LastErrorResult();
    HRSRC found = FindResourceA(file.get(), MAKEINTRESOURCEA(resource_id), "REGISTRY");
    if (!found) return LastErrorResult();
    HGLOBAL loaded = LoadResource(file.get(), found);
    if (!loaded) return LastErrorResult();
    const DWORD size = SizeofResource(file.get(), found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    if (!bytes || size == 0) return LastErrorResult();
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes, int(size), nullptr, 0);
    if (length <= 0) return LastErrorResult();
    if (!script.Allocate(SIZE_T(length) + 1)) return E_OUTOFMEMORY;
    MultiByteToWideChar(CP_ACP, 0, bytes, int(size), script.get(), length);
    script.get()[length] = L'\0';
  }

  TaskText expanded;
  hr = ExpandScript(script.get(), replacement.get(), &expanded);
  if (FAILED(hr)) return hr;
  RegistryAccess registry;
  return InterpretScript(expanded.get(), do_register, HKEY_CLASSES_ROOT, registry);
}

namespace {

// Loads the type library from the library file, or else from the file beside it with the
// extension ".tlb"; `path` receives the name that was tried last.
HRESULT LoadOwnTypeLibrary(HINSTANCE module, ITypeLib** library, wchar_t (&path)[MAX_PATH + 8]) {
  wchar_t name[MAX_PATH + 1];
  HRESULT hr = ModuleFileName(module, name);
  if (FAILED(hr)) return hr;
  lstrcpyW(path, name);
  hr = LoadTypeLib(path, library);
  if (SUCCEEDED(hr)) return hr;
  wchar_t* dot = nullptr;
  for (wchar_t* p = path; *p; ++p)
    if (*p == L'.') dot = p;
  if (!dot) dot = path + lstrlenW(path);
  lstrcpyW(dot, L".tlb");
  return LoadTypeLib(path, library);
}

}  // namespace

HRESULT RegisterTypeLibrary(HINSTANCE module) {
  wchar_t path[MAX_PATH + 8];
  colour::ComPtr<ITypeLib> library;
  HRESULT hr = LoadOwnTypeLibrary(module, library.put(), path);
  if (FAILED(hr)) return hr;
  wchar_t help[MAX_PATH + 8];
  lstrcpyW(help, path);
  wchar_t* cut = help;
  for (wchar_t* p = help; *p; ++p)
    if (*p == L'\\' || *p == L'/' || *p == L':') cut = p + 1;
  *cut = L'\0';
  return RegisterTypeLib(library.get(), path, help);
}

HRESULT UnregisterTypeLibrary(HINSTANCE module) {
  wchar_t path[MAX_PATH + 8];
  colour::ComPtr<ITypeLib> library;
  HRESULT hr = LoadOwnTypeLibrary(module, library.put(), path);
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  hr = library->GetLibAttr(&attributes);
  if (FAILED(hr)) return hr;
  // A library that is not registered (any more) leaves nothing to take back.
  wchar_t key[80];
  wchar_t guid[40];
  StringFromGUID2(attributes->guid, guid, 40);
  wsprintfW(key, L"TypeLib\\%s\\%x.%x", guid, attributes->wMajorVerNum, attributes->wMinorVerNum);
  HKEY found = nullptr;
  const LSTATUS opened = RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &found);
  if (opened == ERROR_SUCCESS) RegCloseKey(found);
  hr = opened == ERROR_FILE_NOT_FOUND ? S_OK : E_FAIL;
  using UnRegisterFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
  if (HMODULE oleaut = opened == ERROR_FILE_NOT_FOUND ? nullptr : LoadLibraryA("oleaut32.dll")) {
    auto unregister =
        reinterpret_cast<UnRegisterFn>(reinterpret_cast<void*>(GetProcAddress(oleaut, "UnRegisterTypeLib")));
    if (unregister)
      hr = unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                      attributes->lcid, attributes->syskind);
    FreeLibrary(oleaut);
  }
  library->ReleaseTLibAttr(attributes);
  return hr;
}

HRESULT RegisterServer(HINSTANCE module, const ClassEntry* classes, bool do_register) {
  HRESULT hr = S_OK;
  if (do_register) {
    for (const ClassEntry* row = classes; row->clsid && SUCCEEDED(hr); ++row)
      hr = RunRegistrationScript(module, row->script_id, true);
    if (SUCCEEDED(hr)) hr = RegisterTypeLibrary(module);
    if (FAILED(hr)) RegisterServer(module, classes, false);
    return hr;
  }
  for (const ClassEntry* row = classes; row->clsid; ++row) {
    const HRESULT step = RunRegistrationScript(module, row->script_id, false);
    if (SUCCEEDED(hr)) hr = step;
  }
  const HRESULT step = UnregisterTypeLibrary(module);
  return SUCCEEDED(hr) ? step : hr;
}

}  // namespace hueshell
