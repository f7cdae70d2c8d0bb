// Open, Save and Save As on profiles on disk, with the user's answers stood in.
#include "editor_harness.h"

namespace harness {
namespace {

constexpr DWORD kNoText = 2012;  // a missing tag: the system has no text for it here

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
  EXPECT_EQ(View().m_strPathName, a);
  EXPECT_EQ(View().m_strFileName, "a.icc");
  EXPECT_EQ(View().m_strDescription, "Office monitor");
  EXPECT_EQ(View().m_wndEdit.GetWindowText(), "Office monitor");
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  EXPECT_FALSE(Enabled(ID_FILE_SAVE_AS));

  Type("!");
  EXPECT_TRUE(Enabled(ID_FILE_SAVE));
  EXPECT_TRUE(Enabled(ID_FILE_SAVE_AS));
  EXPECT_EQ(View().m_strDescription, "Office monitor");  // not the typed text

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

  EXPECT_EQ(View().m_strPathName, a);
  EXPECT_EQ(View().m_strDescription, "Office");
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
  EXPECT_EQ(View().m_strDescription, "Office monitor, calibrated");
  StoredProfile p = Inspect(a);
  EXPECT_EQ(p.description, "Office monitor, calibrated");
  EXPECT_TRUE(p.unicode);
  EXPECT_EQ(p.header_size, p.file_size);

  Retype("Short");
  Command(ID_FILE_SAVE);
  p = Inspect(a);
  EXPECT_EQ(p.description, "Short");
  EXPECT_EQ(p.desc_size, 92u + 3u * 6u);
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
  EXPECT_EQ(View().m_strPathName, Path("b.icc"));
  EXPECT_EQ(View().m_strFileName, "b.icc");
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

  // A write that fails leaves the file where it is, whatever the spelling.
  SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::vector<uint8_t> before = FileBytes(a);
  for (const std::string& spelling : spellings) {
    SCOPED_TRACE(spelling);
    prompts_.boxes.clear();
    Type("x");
    SaveAs(spelling);
    EXPECT_EQ(OnlyBox(), SystemText(ERROR_ACCESS_DENIED));
    EXPECT_EQ(FileBytes(a), before);
    EXPECT_TRUE(View().m_bChanged);
  }
  SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(DocumentTest, FailedWriteAfterTheCopyDeletesTheCopyAndReportsTheWrite) {
  const std::string a = NewProfile("locked.icc", "Locked");
  OpenProfile(a);
  // The copy carries the read-only attribute, so writing into it is refused.
  SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_READONLY);
  Type("!");
  SaveAs(Path("copy.icc"));
  EXPECT_FALSE(FileExists(Path("copy.icc")));
  EXPECT_EQ(OnlyBox(), SystemText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(View().m_strPathName, a);
  EXPECT_TRUE(View().m_bModified);
  EXPECT_TRUE(View().m_bChanged);
  SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(DocumentTest, FailedCopyReportsAndChangesNothing) {
  const std::string a = NewProfile("a.icc", "Office");
  OpenProfile(a);
  Type("!");
  SaveAs(Path("missing folder\\b.icc"));
  EXPECT_EQ(OnlyBox(), SystemText(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(View().m_strPathName, a);
  EXPECT_EQ(View().m_strFileName, "a.icc");
  EXPECT_TRUE(View().m_bModified);
}

TEST_F(DocumentTest, FailedSaveReportsTheSystemTextAndKeepsTheFlags) {
  const std::string a = NewProfile("a.icc", "Office");
  OpenProfile(a);
  Type("!");
  DeleteFileA(a.c_str());
  Command(ID_FILE_SAVE);
  EXPECT_EQ(OnlyBox(), SystemText(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(OnlyBox().empty());
  EXPECT_TRUE(View().m_bModified);
  EXPECT_TRUE(View().m_bChanged);
}

TEST_F(DocumentTest, ProfileWithoutDescriptionIsReportedInOwnWordsWithTheCode) {
  ASSERT_EQ(SystemText(kNoText), "");
  const std::string none = Path("none.icc");
  WriteFileBytes(none, MakeProfile("", false, true));
  OpenProfile(none);
  EXPECT_EQ(OnlyBox(), "The profile could not be read. (Error 2012)");
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
  EXPECT_EQ(View().m_strPathName, a);
  EXPECT_EQ(View().m_strFileName, "a.icc");
  EXPECT_EQ(View().m_strDescription, "A profile with a rather long description");
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
  EXPECT_EQ(View().m_strPathName, a);
  EXPECT_EQ(View().m_strDescription, "Office");
  EXPECT_TRUE(View().m_bModified);
}

}  // namespace
}  // namespace harness
