// Open, Save and Save As on profiles on disk, with the user's answers stood in.
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

  OpenProfile(a, true);
  EXPECT_TRUE(View().m_bReadOnly);
  Type("?");
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  EXPECT_TRUE(Enabled(ID_FILE_SAVE_AS));
  EXPECT_TRUE(prompts_.boxes.empty());
}

TEST_F(DocumentTest, CancelledDialogsChangeNothing) {
  const std::string a = NewProfile("a.icc", "Office");
  OpenProfile(a);
  Type(" 2");
  const std::vector<uint8_t> before = FileBytes(a);

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
  EXPECT_TRUE(prompts_.boxes.empty());
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
  EXPECT_EQ(OnlyBox().rfind("target.icc: ", 0), 0u);

  WriteFileBytes(a, std::vector<uint8_t>(300, 0x55));  // no longer a profile
  prompts_.boxes.clear();
  prompts_.box_answers = {IDYES};
  SaveAs(target);
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(prompts_.boxes[1].text, "a.icc is not a valid ICC profile or is damaged (error 2011)");

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

TEST_F(DocumentTest, FailedCopyReportsAndChangesNothing) {
  const std::string a = NewProfile("a.icc", "Office");
  OpenProfile(a);
  Type("!");
  SaveAs(Path("missing folder\\b.icc"));
  EXPECT_EQ(OnlyBox().rfind("b.icc: ", 0), 0u);
  EXPECT_EQ(AfxNarrow(View().m_strPathName), a);
  EXPECT_EQ(AfxNarrow(View().m_strFileName), "a.icc");
  EXPECT_TRUE(View().m_bModified);
}

TEST_F(DocumentTest, FailedSaveReportsTheSystemTextAndKeepsTheFlags) {
  const std::string a = NewProfile("a.icc", "Office");
  OpenProfile(a);
  Type("!");
  DeleteFileA(a.c_str());
  Command(ID_FILE_SAVE);
  EXPECT_EQ(OnlyBox() + "\r\n", "a.icc: " + SystemText(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(View().m_bModified);
  EXPECT_TRUE(View().m_bChanged);
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
  OpenProfile(broken);  // fails after the tag's size was read
  OpenProfile(none);    // fails at the size query
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(prompts_.boxes[0].text, "broken.icc is not a valid ICC profile or is damaged (error 2011)");
  EXPECT_EQ(prompts_.boxes[1].text, "none.icc has no description tag (error 2012)");
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
  EXPECT_EQ(prompts_.boxes.size(), 2u);
}

TEST_F(DocumentTest, OutOfMemoryAbandonsTheCommandWithItsBox) {
  const std::string a = NewProfile("a.icc", "Office");
  OpenProfile(a);
  Type("!");
  prompts_.dialog_runs_out_of_memory = true;
  Command(ID_FILE_SAVE_AS);
  Command(ID_FILE_OPEN);
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  for (const Prompts::Box& box : prompts_.boxes) {
    EXPECT_EQ(box.text, "Out of memory.");
    EXPECT_EQ(box.caption, "Tagwright");
    EXPECT_EQ(box.type, 0x1030u);
  }
  EXPECT_EQ(AfxNarrow(View().m_strPathName), a);
  EXPECT_EQ(AfxNarrow(View().m_strDescription), "Office");
  EXPECT_TRUE(View().m_bModified);
}

}  // namespace
}  // namespace harness
