// Helpers shared by the Hueshell tests: synthetic profiles, a counting shell allocator,
// a data object carrying a real CF_HDROP drop list, registry reads and file paths.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scratch.h"

namespace shx {

// A Windows path for a file of this build ("/work/..." becomes "Z:\work\...").
std::string WindowsPath(const std::string& unix_path);
std::wstring Wide(const std::string& ansi);
std::string Narrow(const std::wstring& wide);

std::string TempFolder(const std::string& name);  // made afresh (emptied) under %TEMP%
using testing_icc::FileBytes;
using testing_icc::FileExists;
using testing_icc::WriteFileBytes;

// A profile with the given header fields and a `desc` tag whose ASCII count field holds
// `count` followed by `text` (not terminated unless the text says so).  `desc_size` 0
// makes the tag exactly as long as what it holds.
struct ProfileShape {
  uint32_t device_class = 0x6D6E7472;     // mntr
  uint32_t colour_space = 0x52474220;     // RGB
  uint32_t connection_space = 0x58595A20; // XYZ
  uint32_t intent = 0;
  bool with_desc = true;
  uint32_t count = 0;
  std::string text;
  uint32_t desc_size = 0;
  uint32_t padding = 0;  // extra bytes of another tag after desc
};
std::vector<uint8_t> BuildProfile(const ProfileShape& shape);
// Convenience: a well-formed description "text" with its terminating zero counted.
ProfileShape Described(const std::string& text);

// An IMalloc over the process heap that counts live blocks and can refuse to allocate.
class CountingMalloc : public IMalloc {
 public:
  LONG live = 0;
  LONG allocations = 0;
  bool refuse = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
  void* STDMETHODCALLTYPE Alloc(SIZE_T bytes) override;
  void* STDMETHODCALLTYPE Realloc(void* block, SIZE_T bytes) override;
  void STDMETHODCALLTYPE Free(void* block) override;
  SIZE_T STDMETHODCALLTYPE GetSize(void* block) override;
  int STDMETHODCALLTYPE DidAlloc(void*) override { return -1; }
  void STDMETHODCALLTYPE HeapMinimize() override {}

  LONG refs = 1;
};

// A drop list as the shell makes it: a DROPFILES record, then the names, each ended by a
// zero, and one more zero after the last (ANSI or UTF-16 names).
std::vector<uint8_t> DropList(const std::vector<std::string>& names);
std::vector<uint8_t> DropList(const std::vector<std::wstring>& names);

// A data object that offers a drop list block as CF_HDROP, in global memory of exactly its
// size; with `offer_drop` false it has no data at all.
class DropDataObject : public IDataObject {
 public:
  explicit DropDataObject(std::vector<uint8_t> block, bool offer_drop = true);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs_); }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

  int get_data_calls = 0;

 private:
  std::vector<uint8_t> block_;
  bool offer_drop_;
  LONG refs_ = 1;
};

// Registry reads under HKEY_CLASSES_ROOT.
bool KeyExists(const std::string& path);
// The string value (default value when `name` is empty); "<none>" when absent.
std::string StringValue(const std::string& path, const std::string& name = "");
std::vector<std::string> Subkeys(const std::string& path);

// Runs a program, waits, and returns its exit code; its standard output goes to *output.
// When the program cannot be started the answer is 0xFFFFFFFF and *output says why.
DWORD RunProgram(const std::string& command_line, std::string* output = nullptr);

}  // namespace shx

namespace shx {
// The five tip lines of a profile file, computed from its own bytes: the header fields at
// offsets 12, 16, 20 and 64 and the ASCII text of its `desc` tag.
std::string IndependentTip(const std::vector<uint8_t>& file);
// Every v2 profile shipped under /usr/share/color (as Windows paths).
std::vector<std::string> SystemProfiles();
}  // namespace shx
