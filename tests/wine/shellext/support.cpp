#include "support.h"

#include <shlobj.h>

#include <algorithm>
#include <stdexcept>

#include "icc_profile.h"

namespace shx {

std::string WindowsPath(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::wstring Wide(const std::string& ansi) {
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
  std::wstring out(std::size_t(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &out[0], n);
  return out;
}

std::string Narrow(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(std::size_t(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
}

std::string TempFolder(const std::string& name) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + name;
  testing_icc::RemoveFolder(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::vector<uint8_t> BuildProfile(const ProfileShape& shape) {
  std::vector<testing_icc::Tag> tags;
  uint32_t desc_size = 0;
  if (shape.with_desc) {
    std::vector<uint8_t> desc(12 + shape.text.size());
    icc::StoreBE32(desc.data(), icc::Signature("desc"));
    icc::StoreBE32(desc.data() + 8, shape.count);
    std::copy(shape.text.begin(), shape.text.end(), desc.begin() + 12);
    if (shape.desc_size) desc.resize(shape.desc_size);
    desc_size = uint32_t(desc.size());
    tags.push_back({"desc", std::move(desc)});
  }
  if (shape.padding) tags.push_back({"A2B0", std::vector<uint8_t>(shape.padding)});
  // The file ends where the last tag does, with no padding after it.
  uint32_t length = uint32_t(icc::kTagTableStart + icc::kTagEntrySize * tags.size()) + desc_size;
  if (shape.padding) length = icc::Pad4(length) + shape.padding;
  std::vector<uint8_t> b = testing_icc::BuildProfile(tags, length);
  icc::StoreBE32(b.data() + 12, shape.device_class);
  icc::StoreBE32(b.data() + 16, shape.colour_space);
  icc::StoreBE32(b.data() + 20, shape.connection_space);
  icc::StoreBE32(b.data() + 64, shape.intent);
  return b;
}

ProfileShape Described(const std::string& text) {
  ProfileShape shape;
  shape.text = text + '\0';
  shape.count = uint32_t(shape.text.size());
  return shape;
}

HRESULT STDMETHODCALLTYPE CountingMalloc::QueryInterface(REFIID riid, void** ppv) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMalloc)) {
    AddRef();
    *ppv = this;
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

void* STDMETHODCALLTYPE CountingMalloc::Alloc(SIZE_T bytes) {
  ++allocations;
  if (refuse) return nullptr;
  void* p = HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1);
  if (p) ++live;
  return p;
}

void* STDMETHODCALLTYPE CountingMalloc::Realloc(void* block, SIZE_T bytes) {
  return HeapReAlloc(GetProcessHeap(), 0, block, bytes);
}

void STDMETHODCALLTYPE CountingMalloc::Free(void* block) {
  if (!block) return;
  --live;
  HeapFree(GetProcessHeap(), 0, block);
}

SIZE_T STDMETHODCALLTYPE CountingMalloc::GetSize(void* block) {
  return HeapSize(GetProcessHeap(), 0, block);
}

namespace {
template <class Char>
std::vector<uint8_t> MakeDropList(const std::vector<std::basic_string<Char>>& names) {
  std::basic_string<Char> list;
  for (const auto& name : names) list.append(name.c_str(), name.size() + 1);
  list.push_back(Char(0));
  if (names.empty()) list.push_back(Char(0));  // an empty list is two zeros too
  DROPFILES drop = {};
  drop.pFiles = sizeof drop;
  drop.fWide = sizeof(Char) == 2;
  std::vector<uint8_t> block(sizeof drop + list.size() * sizeof(Char));
  memcpy(block.data(), &drop, sizeof drop);
  memcpy(block.data() + sizeof drop, list.data(), list.size() * sizeof(Char));
  return block;
}
}  // namespace

std::vector<uint8_t> DropList(const std::vector<std::string>& names) { return MakeDropList(names); }
std::vector<uint8_t> DropList(const std::vector<std::wstring>& names) { return MakeDropList(names); }

DropDataObject::DropDataObject(std::vector<uint8_t> block, bool offer_drop)
    : block_(std::move(block)), offer_drop_(offer_drop) {}

HRESULT STDMETHODCALLTYPE DropDataObject::QueryInterface(REFIID riid, void** ppv) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
    AddRef();
    *ppv = this;
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE DropDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  ++get_data_calls;
  if (!offer_drop_ || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL))
    return DV_E_FORMATETC;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, block_.size());
  memcpy(GlobalLock(memory), block_.data(), block_.size());
  GlobalUnlock(memory);
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = memory;
  medium->pUnkForRelease = nullptr;
  return S_OK;
}

namespace {
HKEY OpenClassesKey(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}
}  // namespace

bool KeyExists(const std::string& path) {
  HKEY key = OpenClassesKey(path);
  if (key) RegCloseKey(key);
  return key != nullptr;
}

std::string StringValue(const std::string& path, const std::string& name) {
  HKEY key = OpenClassesKey(path);
  if (!key) return "<none>";
  char buffer[2048];
  DWORD size = sizeof buffer, type = 0;
  const LSTATUS status = RegQueryValueExA(key, name.empty() ? nullptr : name.c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return "<none>";
  if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
  return std::string(buffer, size ? size - 1 : 0);
}

std::vector<std::string> Subkeys(const std::string& path) {
  std::vector<std::string> names;
  HKEY key = OpenClassesKey(path);
  if (!key) return names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  RegCloseKey(key);
  return names;
}

DWORD RunProgram(const std::string& command_line, std::string* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  CreatePipe(&read_end, &write_end, &inherit, 0);
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  // Wine now and then fails to start a process while the machine is busy; a start that
  // failed is tried again (a program that ran is never run twice).
  BOOL started = FALSE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt) Sleep(500);
    std::string line = command_line;
    started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    if (!started) error = GetLastError();
  }
  if (!started) {
    CloseHandle(read_end);
    CloseHandle(write_end);
    if (output) *output = "CreateProcessA failed with error " + std::to_string(error);
    return 0xFFFFFFFF;
  }
  CloseHandle(write_end);
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(read_end, chunk, sizeof chunk, &got, nullptr) && got) text.append(chunk, got);
  CloseHandle(read_end);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  if (output) *output = text;
  return code;
}

}  // namespace shx

namespace shx {
namespace {

uint32_t Get32(const std::vector<uint8_t>& b, std::size_t at) {
  if (at + 4 > b.size()) throw std::runtime_error("short profile");
  return icc::LoadBE32(b.data() + at);
}

std::string Chars(uint32_t v) {
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string Name(const std::vector<std::pair<std::string, std::string>>& table, uint32_t v) {
  for (const auto& row : table)
    if (row.first == Chars(v)) return row.second;
  return "Unknown";
}

}  // namespace

std::string IndependentTip(const std::vector<uint8_t>& file) {
  static const std::vector<std::pair<std::string, std::string>> classes = {
      {"abst", "Abstract"}, {"link", "Link"},    {"mntr", "Monitor"},    {"nmcl", "Named"},
      {"prtr", "Printer"},  {"scnr", "Scanner"}, {"spac", "Color Space"}};
  static const std::vector<std::pair<std::string, std::string>> spaces = {
      {"XYZ ", "XYZ"}, {"Lab ", "Lab"},        {"Luv ", "Luv"}, {"YCbr", "YCbCr"},
      {"Yxy ", "Yxy"}, {"RGB ", "RGB"},        {"GRAY", "Gray Scale"}, {"HSV ", "HSV"},
      {"HLS ", "HLS"}, {"CMYK", "CMYK"},       {"CMY ", "CMY"}};
  static const std::vector<std::pair<std::string, std::string>> connections = {
      {"Lab ", "Lab"}, {"XYZ ", "XYZ"}};
  static const char* const intents[] = {"Perceptual", "Relative Colorimetric", "Saturation",
                                        "Absolute Colorimetric"};

  std::string description;
  const uint32_t tags = Get32(file, 128);
  for (uint32_t i = 0; i < tags; ++i) {
    const std::size_t row = 132 + 12 * std::size_t(i);
    if (Chars(Get32(file, row)) != "desc") continue;
    const uint32_t offset = Get32(file, row + 4);
    const uint32_t count = Get32(file, offset + 8);
    if (Chars(Get32(file, offset)) == "mluc") {
      // Localized records: the US English one (the UI language here), else the first.
      uint32_t chosen = 0;
      for (uint32_t k = 0; k < count; ++k)
        if (Chars(Get32(file, offset + 16 + 12 * k)) == "enUS") chosen = k;
      const std::size_t record = offset + 16 + 12 * std::size_t(chosen);
      const uint32_t length = Get32(file, record + 4), start = offset + Get32(file, record + 8);
      std::wstring wide;
      for (uint32_t k = 0; k + 1 < length && (file[start + k] | file[start + k + 1]) != 0; k += 2)
        wide += wchar_t(file[start + k] << 8 | file[start + k + 1]);
      description = Narrow(wide.c_str());
      break;
    }
    for (uint32_t k = 0; k < count && file[offset + 12 + k] != 0; ++k)
      description += char(file[offset + 12 + k]);
    break;
  }
  std::string space = Name(spaces, Get32(file, 16));
  const std::string sig = Chars(Get32(file, 16));
  if (sig[0] >= '2' && sig[0] <= '8' && sig.substr(1) == "CLR")
    space = std::string("Generic ") + sig[0] + " channel";
  const uint32_t intent = Get32(file, 64);
  return "Description: " + description + "\nClass: " + Name(classes, Get32(file, 12)) +
         "\nColor Space: " + space + "\nConnection Space: " + Name(connections, Get32(file, 20)) +
         "\nIntent: " + (intent < 4 ? intents[intent] : "Unknown");
}

std::vector<std::string> SystemProfiles() {
  std::vector<std::string> paths;
  const struct {
    const char* folder;
    const char* patterns[3];
  } places[] = {{"Z:\\usr\\share\\color\\icc\\", {"*.icc", "*.ICM", nullptr}},
                {"Z:\\usr\\share\\color\\icc\\colord\\", {"*.icc", nullptr, nullptr}},
                {"Z:\\usr\\share\\color\\argyll\\ref\\", {"*.icm", nullptr, nullptr}}};
  for (const auto& place : places) {
    for (const char* const* pattern = place.patterns; *pattern; ++pattern) {
      WIN32_FIND_DATAA found;
      HANDLE h = FindFirstFileA((std::string(place.folder) + *pattern).c_str(), &found);
      if (h == INVALID_HANDLE_VALUE) continue;
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          paths.push_back(std::string(place.folder) + found.cFileName);
      } while (FindNextFileA(h, &found));
      FindClose(h);
    }
  }
  // Wine's file search ignores letter case: *.icc and *.ICM can name the same files.
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  return paths;
}

}  // namespace shx
