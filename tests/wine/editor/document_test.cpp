// Open, Save and Save As on profiles on disk, with the user's answers stood in.
#include "ProfileCheck.h"
#include "editor_harness.h"
#include "text_description.h"

namespace harness {
namespace {

class DocumentTest : public EditorTest {
 protected:
  // The one error box of a failed command.
  std::string OnlyBox() {
    EXPECT_EQ(prompts_.boxes.size(), 1u);
    if (prompts_.boxes.empty()) return {};
    const Prompts::Box box = prompts_.boxes.back();
    EXPECT_EQ(box.caption, "Tagwright");
    EXPECT_EQ(box.type, UINT(MB_ICONERROR));
    EXPECT_EQ(box.owner, frame_->m_hWnd);
    return box.text;
  }
};

TEST_F(DocumentTest, DialogsAreAskedAsTheProgramDescribesThem) {
  const std::string a = NewProfile("a.icc", "Office");
  OpenProfile(a);
  Type("!");
  SaveAs(Path("b.icc"));

  ASSERT_EQ(prompts_.asked.size(), 2u);
  const std::string filter("ICC/ICM profiles (*.icc,*.icm) \0*.icc;*.icm\0", 44);
  const Prompts::AskedFile& open = prompts_.asked[0];
  EXPECT_TRUE(open.open);
  EXPECT_TRUE(open.flags & OFN_FILEMUSTEXIST);
  EXPECT_FALSE(open.flags & OFN_HIDEREADONLY);
  EXPECT_EQ(open.def_ext, "");
  EXPECT_EQ(open.filter, filter);
  EXPECT_EQ(open.owner, frame_->m_hWnd);
  const Prompts::AskedFile& save = prompts_.asked[1];
  EXPECT_FALSE(save.open);
  EXPECT_EQ(save.flags & (OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT), DWORD(6));
  EXPECT_EQ(save.def_ext, "icc");
  EXPECT_EQ(save.filter, filter);
}

TEST_F(DocumentTest, OpenShowsTheProfileCleanAndTypingFollowsTheStateTable) {
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  EXPECT_FALSE(Enabled(ID_FILE_SAVE_AS));
  EXPECT_TRUE(Enabled(ID_FILE_OPEN));
  Type("before any profile");
  EXPECT_FALSE(View().m_bModified);
  EXPECT_FALSE(View().m_bChanged);
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  EXPECT_FALSE(Enabled(ID_FILE_SAVE_AS));

  const std::string a = NewProfile("a.icc", "Office monitor");
  OpenProfile(a);
  EXPECT_EQ(AfxNarrow(View().m_strPathName), a);
  EXPECT_EQ(AfxNarrow(View().m_strFileName), "a.icc");
  EXPECT_EQ(AfxNarrow(View().m_strDescription), "Office monitor");
  EXPECT_EQ(View().m_wndEdit.GetWindowText(), "Office monitor");
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  EXPECT_FALSE(Enabled(ID_FILE_SAVE_AS));

  Type("!");
  EXPECT_TRUE(Enabled(ID_FILE_SAVE));
  EXPECT_TRUE(Enabled(ID_FILE_SAVE_AS));
  EXPECT_EQ(AfxNarrow(View().m_strDescription), "Office monitor");  // not the typed text

  prompts_.box_answers = {IDNO};  // not saved
  OpenProfile(a, true);
  EXPECT_TRUE(View().m_bReadOnly);
  Type("?");
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  EXPECT_TRUE(Enabled(ID_FILE_SAVE_AS));
  EXPECT_EQ(prompts_.boxes.size(), 1u);
}

TEST_F(DocumentTest, CancelledDialogsChangeNothing) {
  const std::string a = NewProfile("a.icc", "Office");
  OpenProfile(a);
  Type(" 2");
  const std::vector<uint8_t> before = FileBytes(a);

  prompts_.box_answers = {IDNO};  // not saved before Open
  prompts_.answers.push_back({IDCANCEL, ""});
  Command(ID_FILE_OPEN);
  prompts_.answers.push_back({IDCANCEL, ""});
  Command(ID_FILE_SAVE_AS);

  EXPECT_EQ(AfxNarrow(View().m_strPathName), a);
  EXPECT_EQ(AfxNarrow(View().m_strDescription), "Office");
  EXPECT_EQ(View().m_wndEdit.GetWindowText(), "Office 2");
  EXPECT_TRUE(View().m_bModified);
  EXPECT_TRUE(View().m_bChanged);
  EXPECT_EQ(FileBytes(a), before);
  EXPECT_EQ(prompts_.boxes.size(), 1u);
}

TEST_F(DocumentTest, TwoSavesInARowKeepTheHeaderSizeRight) {
  const std::string a = NewProfile("a.icc", "Office", true);
  OpenProfile(a);
  Type(" monitor, calibrated");
  Command(ID_FILE_SAVE);
  EXPECT_FALSE(View().m_bModified);
  EXPECT_FALSE(View().m_bChanged);
  EXPECT_EQ(AfxNarrow(View().m_strDescription), "Office monitor, calibrated");
  StoredProfile p = Inspect(a);
  EXPECT_EQ(p.description, "Office monitor, calibrated");
  EXPECT_TRUE(p.unicode);
  EXPECT_EQ(p.header_size, p.file_size);

  Retype("Short");
  Command(ID_FILE_SAVE);
  p = Inspect(a);
  EXPECT_EQ(p.description, "Short");
  EXPECT_EQ(p.desc_size, 90u + 3u * 6u);
  EXPECT_EQ(p.header_size, p.file_size);
  EXPECT_TRUE(prompts_.boxes.empty());
}

TEST_F(DocumentTest, SaveAsCopiesAndLaterSavesGoToTheCopy) {
  const std::string a = NewProfile("a.icc", "Office");
  const std::vector<uint8_t> original = FileBytes(a);
  OpenProfile(a);
  Type(" copy");
  SaveAs(Path("b.icc"));

  EXPECT_EQ(FileBytes(a), original);
  StoredProfile b = Inspect(Path("b.icc"));
  EXPECT_EQ(b.description, "Office copy");
  EXPECT_EQ(b.header_size, b.file_size);
  EXPECT_EQ(AfxNarrow(View().m_strPathName), Path("b.icc"));
  EXPECT_EQ(AfxNarrow(View().m_strFileName), "b.icc");
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  EXPECT_FALSE(Enabled(ID_FILE_SAVE_AS));

  Type(" again");
  Command(ID_FILE_SAVE);
  b = Inspect(Path("b.icc"));
  EXPECT_EQ(b.description, "Office copy again");
  EXPECT_EQ(b.header_size, b.file_size);
  EXPECT_EQ(FileBytes(a), original);
  EXPECT_TRUE(prompts_.boxes.empty());
}

TEST_F(DocumentTest, SaveAsOntoAnotherExistingFileReplacesIt) {
  const std::string a = NewProfile("a.icc", "Office");
  const std::string other = NewProfile("other.icc", "Something else entirely, and long", false);
  OpenProfile(a, true);
  Type("!");
  SaveAs(other);
  const StoredProfile p = Inspect(other);
  EXPECT_EQ(p.description, "Office!");
  EXPECT_TRUE(p.unicode);  // the copy is the current profile, not the file that was there
  EXPECT_EQ(p.header_size, p.file_size);
  EXPECT_TRUE(View().m_bReadOnly);
}

TEST_F(DocumentTest, SaveAsOntoTheCurrentFileInAnySpellingWritesInPlace) {
  const std::string a = NewProfile("Screen.icc", "Screen");
  char shortName[MAX_PATH] = {};
  GetShortPathNameA(a.c_str(), shortName, MAX_PATH);
  const std::string spellings[] = {a, Path("SCREEN.ICC"), Path("sub\\..\\Screen.icc"), shortName};
  CreateDirectoryA(Path("sub").c_str(), nullptr);
  int round = 0;
  for (const std::string& spelling : spellings) {
    SCOPED_TRACE(spelling);
    OpenProfile(a, true);
    const std::string text = "Round " + std::to_string(++round);
    Retype(text);
    SaveAs(spelling);
    const StoredProfile p = Inspect(a);
    EXPECT_EQ(p.description, text);
    EXPECT_EQ(p.header_size, p.file_size);
  }

  // A read-only file is refused by name, whatever the spelling.
  SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::vector<uint8_t> before = FileBytes(a);
  for (const std::string& spelling : spellings) {
    SCOPED_TRACE(spelling);
    prompts_.boxes.clear();
    Type("x");
    SaveAs(spelling);
    const std::string name = spelling.substr(spelling.find_last_of('\\') + 1);
    EXPECT_EQ(OnlyBox().rfind(name + " is read-only", 0), 0u);
    EXPECT_EQ(FileBytes(a), before);
    EXPECT_TRUE(View().m_bChanged);
  }
  SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Save As never harms the file it would replace, and leaves no temporary file: a read-only
// target is refused by name, a locked one and a current profile that became damaged fail
// before the target is touched.
TEST_F(DocumentTest, FailedSaveAsLeavesTheTargetAsItWas) {
  const std::string a = NewProfile("a.icc", "Office");
  const std::string target = NewProfile("target.icc", "Keep me");
  const std::vector<uint8_t> kept = FileBytes(target);
  OpenProfile(a);
  Type("!");

  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
  SaveAs(target);
  EXPECT_EQ(OnlyBox(), "target.icc is read-only and was not replaced. Save under another name, "
                       "or clear the file's read-only attribute first.");
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);

  const HANDLE locked = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  prompts_.boxes.clear();
  SaveAs(target);
  CloseHandle(locked);
  EXPECT_EQ(OnlyBox().rfind("target.icc was not saved: another program is using the file.", 0), 0u);

  WriteFileBytes(a, std::vector<uint8_t>(300, 0x55));  // no longer a profile
  prompts_.boxes.clear();
  prompts_.box_answers = {IDYES};
  SaveAs(target);
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(prompts_.boxes[1].text, "a.icc: not a profile, or a damaged one (error 2011)");

  EXPECT_EQ(FileBytes(target), kept);
  EXPECT_EQ(scratch_.Names(), (std::vector<std::string>{"a.icc", "target.icc"}));
  EXPECT_EQ(AfxNarrow(View().m_strPathName), a);
  EXPECT_TRUE(View().m_bChanged);
}

// The copy of a read-only profile is the user's new file: written, and not read-only.
TEST_F(DocumentTest, SaveAsFromAReadOnlyProfileMakesAWritableCopy) {
  const std::string a = NewProfile("locked.icc", "Locked");
  SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_READONLY);
  OpenProfile(a, true);
  Type("!");
  SaveAs(Path("copy.icc"));
  SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(prompts_.boxes.empty());
  EXPECT_EQ(Inspect(Path("copy.icc")).description, "Locked!");
  EXPECT_FALSE(GetFileAttributesA(Path("copy.icc").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(AfxNarrow(View().m_strFileName), "copy.icc");
}

// A profile replaced by another program since Open: the user is asked before anything is
// written, and what is written keeps the form and the other records of the file as it is
// now, in either direction between the versions.
TEST_F(DocumentTest, ProfileChangedSinceOpenIsAskedAboutAndKeepsItsNewForm) {
  const std::string a = NewProfile("a.icc", "Version 2");
  OpenProfile(a);
  Retype("Mine");
  const std::vector<uint8_t> v4 =
      MakeLocalizedProfile({{"de", "DE", u"Deutsch"}, {"en", "US", u"English"}});
  WriteFileBytes(a, v4);

  prompts_.box_answers = {IDNO};
  Command(ID_FILE_SAVE);
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text,
            "The profile was changed by another program since it was opened. Save your "
            "description into it anyway?");
  EXPECT_EQ(prompts_.boxes[0].type, UINT(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
  EXPECT_EQ(FileBytes(a), v4);
  EXPECT_TRUE(View().m_bModified);

  prompts_.box_answers = {IDYES};
  Command(ID_FILE_SAVE);
  std::vector<icc::LocalizedRecord> records;
  const std::vector<uint8_t> desc = testing_icc::TagsOf(FileBytes(a))["desc"];
  ASSERT_TRUE(icc::ParseLocalizedText(desc.data(), desc.size(), &records));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].text, u"Deutsch");
  EXPECT_EQ(records[1].text, u"Mine");
  Type("!");
  Command(ID_FILE_SAVE);  // its own save is no change by another program
  EXPECT_EQ(prompts_.boxes.size(), 2u);

  WriteFileBytes(a, MakeProfile("Version 2 again", false));
  Type("?");
  prompts_.box_answers = {IDYES};
  Command(ID_FILE_SAVE);
  EXPECT_EQ(prompts_.boxes.size(), 3u);
  const StoredProfile p = Inspect(a);
  EXPECT_EQ(p.description, "Mine!?");
  EXPECT_FALSE(p.unicode);
  EXPECT_EQ(p.header_size, p.file_size);
}

// Folders and names outside the ANSI code page (1252 here): the dialogs' paths reach the
// files, Save and Save As write them, and the name is kept as it is.
TEST_F(DocumentTest, PathsOutsideTheCodePageAreOpenedAndSaved) {
  ASSERT_EQ(GetACP(), 1252u);
  const std::wstring folder = AfxWiden(scratch_.Path()) + L"\\Ελληνικά Кириллица 中文 \U0001F3A8";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring name = L"Οθόνη 显示器 \U0001F5A5.icc";
  ASSERT_TRUE(MoveFileW(AfxWiden(NewProfile("a.icc", "Office")).c_str(), (folder + L"\\" + name).c_str()));
  auto inspect = [&](const std::wstring& path) {
    CopyFileW(path.c_str(), AfxWiden(Path("check.icc")).c_str(), FALSE);
    return Inspect(Path("check.icc"));
  };

  prompts_.answers.push_back({IDOK, "", false, folder + L"\\" + name});
  Command(ID_FILE_OPEN);
  EXPECT_EQ(View().m_strFileName, name);
  EXPECT_EQ(AfxNarrow(View().m_strDescription), "Office");
  Type("!");
  Command(ID_FILE_SAVE);
  EXPECT_EQ(inspect(folder + L"\\" + name).description, "Office!");

  Type("?");
  prompts_.answers.push_back({IDOK, "", false, folder + L"\\Копия.icc"});
  Command(ID_FILE_SAVE_AS);
  EXPECT_EQ(inspect(folder + L"\\Копия.icc").description, "Office!?");
  EXPECT_EQ(View().m_strPathName, folder + L"\\Копия.icc");
  EXPECT_TRUE(prompts_.boxes.empty());
}

// Text outside the ANSI code page goes from a version 4 record to the edit box and back
// without conversion (Greek, Chinese, an emoji's surrogate pair), every other record and tag
// keeping its bytes; a version 2 profile keeps such text whole in its Unicode record.
TEST_F(DocumentTest, TextOutsideTheCodePageIsKeptWhole) {
  ASSERT_EQ(GetACP(), 1252u);
  const std::string a = Path("v4.icc");
  WriteFileBytes(a, MakeLocalizedProfile({{"de", "DE", u"Bildschirm"}, {"en", "US", u"Οθόνη γραφείου"}}));
  const auto before = testing_icc::TagsOf(FileBytes(a));
  auto records = [](const std::string& path) {
    std::vector<icc::LocalizedRecord> out;
    const std::vector<uint8_t> desc = testing_icc::TagsOf(FileBytes(path))["desc"];
    EXPECT_TRUE(icc::ParseLocalizedText(desc.data(), desc.size(), &out));
    return out;
  };
  OpenProfile(a);
  EXPECT_EQ(View().m_wndEdit.GetWindowTextWide(), L"Οθόνη γραφείου");
  const std::wstring typed = L"显示器 \U0001F3A8 Οθόνη";
  View().m_wndEdit.SendMessage(EM_SETSEL, 0, -1);
  SendMessageW(View().m_wndEdit.m_hWnd, EM_REPLACESEL, TRUE, LPARAM(typed.c_str()));
  Command(ID_FILE_SAVE);
  Type("!");
  SaveAs(Path("copy.icc"));
  for (const std::string& path : {a, Path("copy.icc")}) {
    SCOPED_TRACE(path);
    const auto stored = records(path);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].text, u"Bildschirm");
    EXPECT_EQ(stored[1].text, path == a ? u"显示器 \U0001F3A8 Οθόνη" : u"显示器 \U0001F3A8 Οθόνη!");
    EXPECT_EQ(testing_icc::TagsOf(FileBytes(path))["wtpt"], before.at("wtpt"));
  }

  const std::string v2 = NewProfile("v2.icc", "Monitor", false);
  OpenProfile(v2);
  View().m_wndEdit.SendMessage(EM_SETSEL, 0, -1);
  SendMessageW(View().m_wndEdit.m_hWnd, EM_REPLACESEL, TRUE, LPARAM(L"显示器"));
  Command(ID_FILE_SAVE);
  const std::vector<uint8_t> desc = testing_icc::TagsOf(FileBytes(v2))["desc"];
  icc::TextDescription text;
  ASSERT_TRUE(icc::ParseTextDescription(desc.data(), desc.size(), &text));
  EXPECT_EQ(text.unicode, u"显示器");
  EXPECT_EQ(text.ascii, "???");
  EXPECT_TRUE(prompts_.boxes.empty());
}

// A failed save says that the file was not saved, why, and what to do; the edit stays.
TEST_F(DocumentTest, FailedSavesSayWhatHappenedAndWhatToDo) {
  enum Cause { kReadOnly, kLocked, kDeleted, kNoFolder };
  const struct {
    Cause cause;
    UINT command;
    const char* said;    // the file, and why
    const char* advice;  // what to do, as the command gives it
  } rows[] = {
      {kReadOnly, ID_FILE_SAVE, "a.icc was not saved: the file is read-only.", "Clear its read-only"},
      {kLocked, ID_FILE_SAVE, "a.icc was not saved: another program is using the file.",
       "or use Save As"},
      {kDeleted, ID_FILE_SAVE, "a.icc was not saved: the file is no longer there;",
       "Use Save As to save the profile as it was opened"},
      {kNoFolder, ID_FILE_SAVE_AS, "b.icc was not saved: its folder does not exist.",
       "Choose an existing folder."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.said);
    const std::string a = NewProfile("a.icc", "Office");
    prompts_.box_answers = {IDNO};  // the previous row's edit is not saved
    OpenProfile(a);
    Type("!");
    prompts_.boxes.clear();
    HANDLE locked = INVALID_HANDLE_VALUE;
    if (row.cause == kReadOnly) SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_READONLY);
    if (row.cause == kLocked)
      locked = CreateFileA(a.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (row.cause == kDeleted) DeleteFileA(a.c_str());
    if (row.command == ID_FILE_SAVE_AS)
      SaveAs(Path("missing folder\\b.icc"));
    else
      Command(row.command);
    if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
    SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_NORMAL);
    const std::string box = OnlyBox();
    EXPECT_EQ(box.rfind(row.said, 0), 0u) << box;
    EXPECT_NE(box.find(row.advice), std::string::npos) << box;
    EXPECT_EQ(AfxNarrow(View().m_strPathName), a);
    EXPECT_TRUE(View().m_bModified);
    EXPECT_TRUE(View().m_bChanged);
    if (row.cause != kDeleted) EXPECT_EQ(Inspect(a).description, "Office");
  }
}

// When the profile is deleted or replaced after Open, Save As still makes a complete copy:
// from what Open read when the file is gone, from the file as it is now (asked first, in
// words that say so) when another program replaced it.
TEST_F(DocumentTest, SaveAsAfterTheFileWasDeletedOrReplaced) {
  const std::string a = NewProfile("a.icc", "Office");
  const std::vector<uint8_t> opened = FileBytes(a);
  OpenProfile(a);
  Type("!");
  ASSERT_TRUE(MoveFileA(a.c_str(), Path("moved.icc").c_str()));
  SaveAs(Path("b.icc"));
  EXPECT_TRUE(prompts_.boxes.empty());
  StoredProfile b = Inspect(Path("b.icc"));
  EXPECT_EQ(b.description, "Office!");
  EXPECT_EQ(b.header_size, b.file_size);
  EXPECT_EQ(testing_icc::TagsOf(FileBytes(Path("b.icc")))["wtpt"], testing_icc::TagsOf(opened)["wtpt"]);
  EXPECT_EQ(AfxNarrow(View().m_strFileName), "b.icc");

  // Deleted again: the copy comes from the file Save As made.
  Type("?");
  DeleteFileA(Path("b.icc").c_str());
  SaveAs(a);
  EXPECT_EQ(Inspect(a).description, "Office!?");

  Type("+");
  WriteFileBytes(a, MakeProfile("Another program's", false));
  prompts_.box_answers = {IDNO, IDYES};
  SaveAs(Path("c.icc"));
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text,
            "a.icc was changed or replaced by another program since it was opened, and may now "
            "hold another profile.\n\nSave As will copy the file as it is now, not as it was "
            "opened, to c.icc, with your description. Continue?");
  EXPECT_FALSE(FileExists(Path("c.icc")));
  SaveAs(Path("c.icc"));
  const StoredProfile c = Inspect(Path("c.icc"));
  EXPECT_EQ(c.description, "Office!?+");
  EXPECT_FALSE(c.unicode);  // the other program's profile, as it is now
}

// Leaving a changed description (Exit, the close box or Alt+F4, Open of another profile)
// asks first: Yes saves (through Save As for a profile opened read-only), No goes on,
// Cancel and a failed or cancelled save stay with the edit.  An unchanged one is left at once.
TEST_F(DocumentTest, LeavingAChangedDescriptionAsksFirst) {
  enum Leave { kExit, kClose, kOpen };
  const struct {
    Leave leave;
    int answer;  // 0: nothing was typed, nothing is asked
    bool read_only;
    bool save_fails;  // locked, or Save As cancelled
    bool leaves;
  } rows[] = {
      {kExit, IDYES, false, false, true},   {kExit, IDNO, false, false, true},
      {kExit, IDCANCEL, false, false, false}, {kClose, IDYES, true, false, true},
      {kClose, IDYES, false, true, false},  {kClose, 0, false, false, true},
      {kOpen, IDYES, false, false, true},   {kOpen, IDNO, true, false, true},
      {kOpen, IDCANCEL, false, false, false}, {kOpen, IDYES, true, true, false},
  };
  int i = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(++i);
    if (!theApp.m_pMainWnd) {
      frame_ = new CMainFrame;
      theApp.m_pMainWnd = frame_;
      ASSERT_TRUE(frame_->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE));
    }
    const std::string a = NewProfile("a.icc", "Office");
    DeleteFileA(Path("copy.icc").c_str());
    prompts_.answers.clear();
    prompts_.box_answers = {IDNO};  // the previous row's edit is not saved
    OpenProfile(a, row.read_only);
    if (row.answer) Type("!");
    prompts_.boxes.clear();
    prompts_.box_answers = {row.answer};
    if (row.read_only && row.answer == IDYES)
      prompts_.answers.push_back({row.save_fails ? IDCANCEL : IDOK, Path("copy.icc")});
    if (row.leave == kOpen) prompts_.answers.push_back({IDOK, NewProfile("b.icc", "Other")});
    HANDLE locked = INVALID_HANDLE_VALUE;
    if (row.save_fails && !row.read_only)
      locked = CreateFileA(a.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (row.leave == kExit) Command(ID_APP_EXIT);
    if (row.leave == kClose) frame_->SendMessage(WM_SYSCOMMAND, SC_CLOSE);
    if (row.leave == kOpen) Command(ID_FILE_OPEN);
    if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);

    if (row.answer) {
      ASSERT_FALSE(prompts_.boxes.empty());
      EXPECT_EQ(prompts_.boxes[0].text, "Save changes to a.icc?");
      EXPECT_EQ(prompts_.boxes[0].type, UINT(MB_YESNOCANCEL | MB_ICONWARNING));
    }
    EXPECT_EQ(prompts_.boxes.size(), size_t(row.answer == 0 ? 0 : row.save_fails && !row.read_only ? 2 : 1));
    const bool saved = row.answer == IDYES && !row.save_fails;
    EXPECT_EQ(Inspect(a).description, saved && !row.read_only ? "Office!" : "Office");
    EXPECT_EQ(FileExists(Path("copy.icc")), saved && row.read_only);
    if (row.leave == kOpen) {
      EXPECT_EQ(AfxNarrow(View().m_strFileName), row.leaves ? "b.icc" : row.read_only && saved ? "copy.icc" : "a.icc");
    } else {
      EXPECT_EQ(theApp.m_pMainWnd == nullptr, row.leaves);
    }
    if (!row.leaves) EXPECT_TRUE(View().m_bChanged);
  }
}

// A failed Open keeps the whole previous document: a later Save writes the previous
// profile with its own description and tag size, and nothing of the other file.
TEST_F(DocumentTest, FailedOpenKeepsThePreviousDocumentWhole) {
  const std::string a = NewProfile("a.icc", "A profile with a rather long description", true);
  const std::string broken = Path("broken.icc");
  WriteFileBytes(broken, MakeBrokenProfile());
  const std::string none = Path("none.icc");
  WriteFileBytes(none, MakeProfile("", false, true));
  const std::vector<uint8_t> brokenBytes = FileBytes(broken);

  OpenProfile(a);
  Type(" (edited)");
  prompts_.box_answers = {IDNO, IDOK, IDNO};  // not saved before either Open
  OpenProfile(broken);  // fails after the tag's size was read
  OpenProfile(none);    // fails at the size query
  ASSERT_EQ(prompts_.boxes.size(), 4u);
  EXPECT_EQ(prompts_.boxes[1].text, "broken.icc: not a profile, or a damaged one (error 2011)");
  EXPECT_EQ(prompts_.boxes[3].text, "none.icc: the profile has no description ('desc' tag) (error 2012)");
  EXPECT_EQ(AfxNarrow(View().m_strPathName), a);
  EXPECT_EQ(AfxNarrow(View().m_strFileName), "a.icc");
  EXPECT_EQ(AfxNarrow(View().m_strDescription), "A profile with a rather long description");
  EXPECT_TRUE(View().m_bModified);

  Command(ID_FILE_SAVE);
  const StoredProfile p = Inspect(a);
  EXPECT_EQ(p.description, "A profile with a rather long description (edited)");
  EXPECT_TRUE(p.unicode);
  EXPECT_EQ(p.header_size, p.file_size);
  EXPECT_EQ(FileBytes(broken), brokenBytes);
  EXPECT_EQ(prompts_.boxes.size(), 4u);
}

TEST_F(DocumentTest, OutOfMemoryAbandonsTheCommandWithItsBox) {
  const std::string a = NewProfile("a.icc", "Office");
  OpenProfile(a);
  Type("!");
  prompts_.dialog_runs_out_of_memory = true;
  prompts_.box_answers = {IDOK, IDNO};  // not saved before Open
  Command(ID_FILE_SAVE_AS);
  Command(ID_FILE_OPEN);
  ASSERT_EQ(prompts_.boxes.size(), 3u);
  prompts_.boxes.erase(prompts_.boxes.begin() + 1);
  for (const Prompts::Box& box : prompts_.boxes) {
    EXPECT_EQ(box.text, "Out of memory.");
    EXPECT_EQ(box.caption, "Tagwright");
    EXPECT_EQ(box.type, 0x1030u);
  }
  EXPECT_EQ(AfxNarrow(View().m_strPathName), a);
  EXPECT_EQ(AfxNarrow(View().m_strDescription), "Office");
  EXPECT_TRUE(View().m_bModified);
}

// A profile opened with errors says so in the status bar, and File > Check Profile lists the
// profile doctor's findings, as tagwright-cli check words them.
TEST_F(DocumentTest, AProfileWithErrorsSaysSoAndCheckProfileListsThem) {
  EXPECT_FALSE(Enabled(ID_FILE_CHECK));
  const std::string a = NewProfile("a.icc", "Office");  // a monitor profile without colour tags
  OpenProfile(a);
  EXPECT_EQ(frame_->m_wndStatusBar.GetPaneText(0),
            "This profile has 1 error (Required tag missing): File > Check Profile lists them.");
  EXPECT_TRUE(Enabled(ID_FILE_CHECK));
  Command(ID_FILE_CHECK);
  ASSERT_EQ(prompts_.dialogs.size(), 1u);
  EXPECT_EQ(prompts_.dialogs[0], UINT(IDD_FINDINGS));
  icc::CheckReport report;
  ASSERT_TRUE(CheckProfileFile(View().m_strPathName, &report));
  const std::string text = AfxNarrow(FindingsText(L"a.icc", report));
  EXPECT_EQ(text.rfind("a.icc: Required tag missing\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("\r\nerror   required-tag (A2B0 at -): "), std::string::npos) << text;
  EXPECT_TRUE(prompts_.boxes.empty());
}

// Not a check of its own: with TAGWRIGHT_SAVE_LOOP naming a folder of profiles 0.icc,
// 1.icc..., saves each in turn (Save, every third one Save As over the next one instead)
// and prints its number after each save, for save_kill.py, which ends the process from
// outside at many moments.
TEST_F(DocumentTest, SaveLoopForTheKillProof) {
  const char* folder = getenv("TAGWRIGHT_SAVE_LOOP");
  if (!folder) GTEST_SKIP() << "run by save_kill.py";
  const auto name = [&](int i) { return std::string(folder) + "\\" + std::to_string(i) + ".icc"; };
  for (int i = 0; FileExists(name(i)); ++i) {
    OpenProfile(name(i));
    Retype("Saved by the proof " + std::to_string(i));
    if (i % 3 == 2 && FileExists(name(i + 1)))
      SaveAs(name(i + 1));
    else
      Command(ID_FILE_SAVE);
    printf("%d\n", i);
    fflush(stdout);
  }
}

}  // namespace
}  // namespace harness
