#include "editor_harness.h"

#include <cstring>

#include "icc_profile.h"
#include "profile_builder.h"

CTagwrightApp theApp;

namespace harness {
namespace {

std::vector<uint8_t> WhitePoint() {
  std::vector<uint8_t> xyz(20, 0);
  std::memcpy(xyz.data(), "XYZ ", 4);
  icc::StoreBE32(xyz.data() + 8, 0xF351);
  icc::StoreBE32(xyz.data() + 12, 0x10000);
  icc::StoreBE32(xyz.data() + 16, 0x116CC);
  return xyz;
}

}  // namespace

std::vector<uint8_t> MakeProfile(const std::string& description, bool unicode, bool without_desc) {
  if (without_desc) return testing_icc::BuildProfile({{"wtpt", WhitePoint()}});
  return testing_icc::BuildProfile(
      {{"desc", testing_icc::DescTag(description, unicode)}, {"wtpt", WhitePoint()}});
}

std::vector<uint8_t> MakeLocalizedProfile(const std::vector<icc::LocalizedRecord>& records) {
  std::vector<uint8_t> profile = testing_icc::BuildProfile(
      {{"desc", icc::BuildLocalizedText(records)}, {"wtpt", WhitePoint()}});
  profile[8] = 4;  // version 4.0
  return profile;
}

std::vector<uint8_t> MakeBrokenProfile() {
  return testing_icc::BuildProfile(
      {{"desc", {'d', 'e', 's', 'c', 0, 0, 0, 0}}, {"wtpt", WhitePoint()}});
}

StoredProfile Inspect(const std::string& path) {
  StoredProfile p;
  const std::vector<uint8_t> file = FileBytes(path);
  p.file_size = file.size();
  if (file.size() < 132) return p;
  p.header_size = icc::LoadBE32(file.data() + 0);
  const uint32_t count = icc::LoadBE32(file.data() + 128);
  for (uint32_t i = 0; i < count && 144 + 12 * i <= file.size(); ++i) {
    if (std::memcmp(file.data() + 132 + 12 * i, "desc", 4) != 0) continue;
    const uint32_t at = icc::LoadBE32(file.data() + 136 + 12 * i);
    p.desc_size = icc::LoadBE32(file.data() + 140 + 12 * i);
    if (at + p.desc_size > file.size() || p.desc_size < 12) return p;
    const uint32_t n = icc::LoadBE32(file.data() + at + 8);
    p.description.assign(reinterpret_cast<const char*>(file.data() + at + 12));
    if (16 + n + 4 <= p.desc_size) p.unicode = icc::LoadBE32(file.data() + at + 16 + n) != 0;
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

int Prompts::MessageBox(HWND hOwner, const wchar_t* pszText, const wchar_t* pszCaption,
                        UINT nType) {
  boxes.push_back({AfxNarrow(pszText), pszText, AfxNarrow(pszCaption), nType, hOwner});
  if (box_answers.empty()) return IDOK;
  const int answer = box_answers.front();
  box_answers.pop_front();
  return answer;
}

INT_PTR Prompts::RunFileDialog(CFileDialog& dlg) {
  const OPENFILENAMEW& ofn = dlg.m_ofn;
  std::string filter;
  if (ofn.lpstrFilter) {
    const wchar_t* p = ofn.lpstrFilter;
    while (*p) {
      filter.append(AfxNarrow(p)).push_back('\0');
      p += wcslen(p) + 1;
    }
  }
  asked.push_back({dlg.m_bOpenFileDialog != FALSE, ofn.Flags,
                   ofn.lpstrDefExt ? AfxNarrow(ofn.lpstrDefExt) : "", filter, ofn.hwndOwner});
  if (dialog_runs_out_of_memory) throw std::bad_alloc();
  if (answers.empty()) return IDCANCEL;
  const FileAnswer answer = answers.front();
  answers.pop_front();
  if (answer.result != IDOK) return answer.result;
  const std::wstring path = answer.wide_path.empty() ? AfxWiden(answer.path) : answer.wide_path;
  lstrcpynW(dlg.m_ofn.lpstrFile, path.c_str(), int(dlg.m_ofn.nMaxFile));
  if (answer.read_only) dlg.m_ofn.Flags |= OFN_READONLY;
  return IDOK;
}

INT_PTR Prompts::RunDialog(CDialog& dlg, HWND) {
  dialogs.push_back(dlg.m_nIDTemplate);
  return IDOK;
}

void EditorTest::SetUp() {
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
