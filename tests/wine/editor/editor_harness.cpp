#include "editor_harness.h"

#include <cstring>
#include <fstream>
#include <iterator>

CTagwrightApp theApp;

namespace harness {
namespace {

void Put32(std::vector<uint8_t>& b, std::size_t at, uint32_t v) {
  b[at] = uint8_t(v >> 24);
  b[at + 1] = uint8_t(v >> 16);
  b[at + 2] = uint8_t(v >> 8);
  b[at + 3] = uint8_t(v);
}

uint32_t Get32(const std::vector<uint8_t>& b, std::size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

std::vector<uint8_t> DescTag(const std::string& text, bool unicode) {
  const std::size_t n = text.size() + 1;
  const std::size_t u = unicode ? 2 + 2 * n : 0;
  std::vector<uint8_t> tag(90 + n + u, 0);
  std::memcpy(tag.data(), "desc", 4);
  Put32(tag, 8, uint32_t(n));
  std::memcpy(tag.data() + 12, text.c_str(), n);
  if (unicode) {
    Put32(tag, 16 + n, uint32_t(n + 1));
    tag[20 + n] = 0xFE;
    tag[21 + n] = 0xFF;
    for (std::size_t i = 0; i < text.size(); ++i) tag[22 + n + 2 * i + 1] = uint8_t(text[i]);
  }
  const std::size_t script = 20 + n + u;
  tag[script + 2] = uint8_t(n < 67 ? n : 67);
  std::memcpy(tag.data() + script + 3, text.c_str(), n < 67 ? n : 67);
  return tag;
}

std::vector<uint8_t> Assemble(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& tags) {
  std::size_t at = 128 + 4 + 12 * tags.size();
  std::vector<uint8_t> file(at, 0);
  Put32(file, 8, 0x02100000);
  std::memcpy(file.data() + 12, "mntr", 4);
  std::memcpy(file.data() + 16, "RGB ", 4);
  std::memcpy(file.data() + 20, "XYZ ", 4);
  std::memcpy(file.data() + 36, "acsp", 4);
  Put32(file, 128, uint32_t(tags.size()));
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const auto& tag = tags[i];
    std::memcpy(file.data() + 132 + 12 * i, tag.first.c_str(), 4);
    Put32(file, 136 + 12 * i, uint32_t(at));
    Put32(file, 140 + 12 * i, uint32_t(tag.second.size()));
    file.insert(file.end(), tag.second.begin(), tag.second.end());
    at += tag.second.size();
    while (file.size() % 4) file.push_back(0);
    at = file.size();
  }
  Put32(file, 0, uint32_t(file.size()));
  return file;
}

std::vector<uint8_t> WhitePoint() {
  std::vector<uint8_t> xyz(20, 0);
  std::memcpy(xyz.data(), "XYZ ", 4);
  Put32(xyz, 8, 0xF351);
  Put32(xyz, 12, 0x10000);
  Put32(xyz, 16, 0x116CC);
  return xyz;
}

}  // namespace

std::vector<uint8_t> MakeProfile(const std::string& description, bool unicode, bool without_desc) {
  if (without_desc) return Assemble({{"wtpt", WhitePoint()}});
  return Assemble({{"desc", DescTag(description, unicode)}, {"wtpt", WhitePoint()}});
}

std::vector<uint8_t> MakeBrokenProfile() {
  return Assemble({{"desc", {'d', 'e', 's', 'c', 0, 0, 0, 0}}, {"wtpt", WhitePoint()}});
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

StoredProfile Inspect(const std::string& path) {
  StoredProfile p;
  const std::vector<uint8_t> file = ReadFileBytes(path);
  p.file_size = file.size();
  if (file.size() < 132) return p;
  p.header_size = Get32(file, 0);
  const uint32_t count = Get32(file, 128);
  for (uint32_t i = 0; i < count && 144 + 12 * i <= file.size(); ++i) {
    if (std::memcmp(file.data() + 132 + 12 * i, "desc", 4) != 0) continue;
    const uint32_t at = Get32(file, 136 + 12 * i);
    p.desc_size = Get32(file, 140 + 12 * i);
    if (at + p.desc_size > file.size() || p.desc_size < 12) return p;
    const uint32_t n = Get32(file, at + 8);
    p.description.assign(reinterpret_cast<const char*>(file.data() + at + 12));
    if (16 + n + 4 <= p.desc_size) p.unicode = Get32(file, at + 16 + n) != 0;
  }
  return p;
}

std::string SystemText(DWORD error) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                     FORMAT_MESSAGE_FROM_SYSTEM,
                 nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = text ? text : "";
  LocalFree(text);
  return result;
}

int Prompts::MessageBox(HWND hOwner, const char* pszText, const char* pszCaption, UINT nType) {
  boxes.push_back({pszText, pszCaption, nType, hOwner});
  return IDOK;
}

INT_PTR Prompts::RunFileDialog(CFileDialog& dlg) {
  const OPENFILENAMEA& ofn = dlg.m_ofn;
  std::string filter;
  if (ofn.lpstrFilter) {
    const char* p = ofn.lpstrFilter;
    while (*p) {
      filter.append(p).push_back('\0');
      p += strlen(p) + 1;
    }
  }
  asked.push_back({dlg.m_bOpenFileDialog != FALSE, ofn.Flags,
                   ofn.lpstrDefExt ? ofn.lpstrDefExt : "", filter, ofn.hwndOwner});
  if (dialog_runs_out_of_memory) throw std::bad_alloc();
  if (answers.empty()) return IDCANCEL;
  const FileAnswer answer = answers.front();
  answers.pop_front();
  if (answer.result != IDOK) return answer.result;
  lstrcpynA(dlg.m_ofn.lpstrFile, answer.path.c_str(), int(dlg.m_ofn.nMaxFile));
  if (answer.read_only) dlg.m_ofn.Flags |= OFN_READONLY;
  return IDOK;
}

INT_PTR Prompts::RunDialog(CDialog& dlg, HWND) {
  dialogs.push_back(dlg.m_nIDTemplate);
  return IDOK;
}

void EditorTest::SetUp() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  char full[MAX_PATH];
  const std::string name = std::string("work_") + info->test_suite_name() + "_" + info->name();
  GetFullPathNameA(name.c_str(), MAX_PATH, full, nullptr);
  folder_ = full;
  CreateDirectoryA(folder_.c_str(), nullptr);
  WIN32_FIND_DATAA found;
  const HANDLE h = FindFirstFileA((folder_ + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string file = Path(found.cFileName);
      SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(file.c_str());
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }

  frame_ = new CMainFrame;
  theApp.m_pMainWnd = frame_;
  ASSERT_TRUE(frame_->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE));
}

void EditorTest::TearDown() {
  if (theApp.m_pMainWnd) theApp.m_pMainWnd->DestroyWindow();
  theApp.m_pMainWnd = nullptr;
  // The frame's destruction posted the end of the program's loop; drop it.
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

std::string EditorTest::NewProfile(const std::string& name, const std::string& description,
                                   bool unicode) {
  const std::string path = Path(name);
  WriteFileBytes(path, MakeProfile(description, unicode));
  return path;
}

void EditorTest::Type(const std::string& text) {
  const int end = GetWindowTextLengthA(View().m_wndEdit.m_hWnd);
  View().m_wndEdit.SendMessage(EM_SETSEL, WPARAM(end), LPARAM(end));
  for (char c : text) View().m_wndEdit.SendMessage(WM_CHAR, WPARAM(uint8_t(c)), 1);
}

void EditorTest::Retype(const std::string& text) {
  View().m_wndEdit.SendMessage(EM_SETSEL, 0, -1);
  if (text.empty())
    View().m_wndEdit.SendMessage(WM_CHAR, VK_BACK, 1);
  else
    for (char c : text) View().m_wndEdit.SendMessage(WM_CHAR, WPARAM(uint8_t(c)), 1);
}

void EditorTest::OpenProfile(const std::string& path, bool read_only) {
  prompts_.answers.push_back({IDOK, path, read_only});
  Command(ID_FILE_OPEN);
}

void EditorTest::SaveAs(const std::string& path) {
  prompts_.answers.push_back({IDOK, path});
  Command(ID_FILE_SAVE_AS);
}

}  // namespace harness
