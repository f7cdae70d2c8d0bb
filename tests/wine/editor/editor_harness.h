// Test harness for Tagwright's windows: small profiles on disk, a stand-in for the user's
// answers to dialogs and message boxes, and a frame made as the program makes it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "MainFrm.h"
#include "Resource.h"
#include "TagwrightApp.h"
#include "localized_text.h"
#include "scratch.h"

extern CTagwrightApp theApp;

namespace harness {

// A version 2 profile with a 'desc' tag (ASCII text, optionally a Unicode part) and a
// white point after it; without_desc leaves the description out.
std::vector<uint8_t> MakeProfile(const std::string& description, bool unicode,
                                 bool without_desc = false);
// A version 4 profile whose description holds the localized records.
std::vector<uint8_t> MakeLocalizedProfile(const std::vector<icc::LocalizedRecord>& records);
// A profile whose 'desc' tag is too short to be a description.
std::vector<uint8_t> MakeBrokenProfile();

using testing_icc::FileBytes;
using testing_icc::FileExists;
using testing_icc::WriteFileBytes;

struct StoredProfile {
  uint32_t header_size = 0;  // phSize
  std::size_t file_size = 0;
  uint32_t desc_size = 0;
  std::string description;   // the ASCII part
  bool unicode = false;
};
StoredProfile Inspect(const std::string& path);

std::string SystemText(DWORD error);

// Answers the program's modal questions in place of the user and records them.
class Prompts : public CUserPrompts {
 public:
  struct FileAnswer {
    INT_PTR result;
    std::string path;
    bool read_only = false;
    std::wstring wide_path;  // in place of path when given
  };
  struct AskedFile {
    bool open;
    DWORD flags;
    std::string def_ext;
    std::string filter;  // with its NULs
    HWND owner;
  };
  struct Box {
    std::string text;  // in the ANSI code page
    std::wstring wide_text;
    std::string caption;
    UINT type;
    HWND owner;
  };

  Prompts() { previous_ = AfxSetUserPrompts(this); }
  ~Prompts() override { AfxSetUserPrompts(previous_); }

  int MessageBox(HWND hOwner, const wchar_t* pszText, const wchar_t* pszCaption,
                 UINT nType) override;
  INT_PTR RunFileDialog(CFileDialog& dlg) override;
  INT_PTR RunDialog(CDialog& dlg, HWND hOwner) override;

  std::deque<FileAnswer> answers;
  std::deque<int> box_answers;  // IDOK once they run out
  std::vector<AskedFile> asked;
  std::vector<Box> boxes;
  std::vector<UINT> dialogs;
  bool dialog_runs_out_of_memory = false;

 private:
  CUserPrompts* previous_;
};

// A folder of its own for each test and a frame made from the resources.
class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string Path(const std::string& name) const { return scratch_.File(name); }
  std::string NewProfile(const std::string& name, const std::string& description,
                         bool unicode = true);

  // The user's ways in: a command as a menu would send it, and typing into the edit box.
  void Command(UINT nID) { frame_->SendMessage(WM_COMMAND, nID, 0); }
  void Type(const std::string& text);
  // Selects the whole text and types over it.
  void Retype(const std::string& text);
  BOOL Enabled(UINT nID) { return frame_->IsCommandEnabled(nID); }
  void OpenProfile(const std::string& path, bool read_only = false);
  void SaveAs(const std::string& path);

  CProfileView& View() { return frame_->m_wndView; }

  Prompts prompts_;
  CMainFrame* frame_ = nullptr;
  testing_icc::ScratchFolder scratch_;
};

}  // namespace harness
