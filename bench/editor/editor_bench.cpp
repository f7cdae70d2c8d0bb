// Time Tagwright takes to open a profile whose description is 64 KB, 256 KB or 1 MB long:
// the Open command (the profile read, the edit box filled) and the paint that follows,
// against the edit control alone given the same text and painted, which is the least any
// program showing the text in an edit box pays.
//
//   editor_bench DATA_DIR
//
// DATA_DIR holds the generated profiles, shared with the other benchmarks.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "MainFrm.h"
#include "Resource.h"
#include "TagwrightApp.h"
#include "bench_common.h"
#include "profile_builder.h"

CTagwrightApp theApp;

namespace {

// Answers the open dialog with one path; any message box is a failure of the run.
class Answers : public CUserPrompts {
 public:
  INT_PTR RunFileDialog(CFileDialog& dlg) override {
    lstrcpynW(dlg.m_ofn.lpstrFile, AfxWiden(path).c_str(), int(dlg.m_ofn.nMaxFile));
    return IDOK;
  }
  int MessageBox(HWND, const wchar_t* pszText, const wchar_t*, UINT) override {
    std::fprintf(stderr, "editor_bench: %s\n", AfxNarrow(pszText).c_str());
    failed = true;
    return IDOK;
  }
  std::string path;
  bool failed = false;
};

void Paint(HWND hWnd) { RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW); }

std::string Words(std::size_t size) {
  std::string text;
  while (text.size() < size) text += "A long description of a profile, written for the benchmark. ";
  text.resize(size);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: editor_bench DATA_DIR\n");
    return 2;
  }
  CreateDirectoryA(argv[1], nullptr);
  Answers answers;
  AfxSetUserPrompts(&answers);
  auto* frame = new CMainFrame;
  theApp.m_pMainWnd = frame;
  if (!frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE)) return 1;
  frame->ShowWindow(SW_SHOW);
  frame->UpdateWindow();

  // The peer: a bare edit box of the same size that does not wrap, as Tagwright's long
  // descriptions are shown.
  const HWND peer = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                    WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL |
                                        ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_MULTILINE,
                                    420, 0, 340, 100, nullptr, nullptr, nullptr, nullptr);
  SendMessageA(peer, EM_SETLIMITTEXT, 0, 0);

  bench::Table table({"description", "Tagwright open", "edit control alone", "ratio"});
  for (const std::size_t size : {std::size_t(64) << 10, std::size_t(256) << 10, std::size_t(1) << 20}) {
    const std::string text = Words(size);
    answers.path = std::string(argv[1]) + "\\long-description-" + std::to_string(size >> 10) + "k.icc";
    testing_icc::WriteFileBytes(answers.path,
                                testing_icc::BuildProfile({{"desc", testing_icc::DescTag(text, true)}}));
    const double open = bench::MedianSeconds([&] {
      frame->SendMessage(WM_COMMAND, ID_FILE_OPEN, 0);
      Paint(frame->m_hWnd);
      return !answers.failed;
    }, 3, 0.0, 5);
    const double alone = bench::MedianSeconds([&] {
      SetWindowTextA(peer, "");
      SetWindowTextA(peer, text.c_str());
      Paint(peer);
      return true;
    }, 3, 0.0, 5);
    if (open < 0 || frame->m_wndView.m_wndEdit.GetWindowText().size() != size) {
      std::fprintf(stderr, "editor_bench: opening %s failed\n", answers.path.c_str());
      return 1;
    }
    table.Add({bench::FormatSize(size), bench::FormatTime(open), bench::FormatTime(alone),
               bench::Ratio(open, alone)});
  }
  table.Print();
  DestroyWindow(peer);
  frame->DestroyWindow();
  return 0;
}
