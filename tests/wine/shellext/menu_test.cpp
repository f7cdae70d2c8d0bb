// ICCMenu: the command chosen from a real CF_HDROP selection, its texts, and the copy and
// move it hands to the shell, with the folder browser (and mostly the file operation)
// stood in.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "colour_service.h"
#include "context_menu.h"
#include "guids.h"
#include "support.h"

namespace {

using hueshell::MenuPlatform;

// ---- stand-ins ---------------------------------------------------------------------

shx::CountingMalloc g_malloc;
bool g_no_malloc = false;
std::string g_colour_dir = "C:\\windows\\system32\\spool\\drivers\\color";
bool g_fail_colour_dir = false;
bool g_real_file_operation = false;
bool g_cancel_browser = false;
bool g_no_path = false;
std::wstring g_chosen_folder;
const HWND kFocus = reinterpret_cast<HWND>(0x1234);

struct Recorded {
  int calls = 0;
  UINT func = 0;
  FILEOP_FLAGS flags = 0;
  HWND hwnd = nullptr;
  std::vector<std::string> from;        // in the ANSI code page
  std::vector<std::wstring> wide_from;  // as given
  std::string to_list;  // pTo up to and including its double NUL
  int result = 0;
};
Recorded g_op;
int g_browses = 0;
BROWSEINFOW g_browse;
std::string g_browse_title;

HRESULT WINAPI StoodInMalloc(IMalloc** out) {
  *out = nullptr;
  if (g_no_malloc) return E_OUTOFMEMORY;
  g_malloc.AddRef();
  *out = &g_malloc;
  return S_OK;
}

std::wstring g_wide_colour_dir;  // when set, a name the ANSI code page cannot hold

BOOL WINAPI StoodInColourDir(PCWSTR machine, PWSTR buffer, PDWORD size) {
  const std::wstring dir = g_wide_colour_dir.empty() ? shx::Wide(g_colour_dir) : g_wide_colour_dir;
  if (g_fail_colour_dir || machine || *size < (dir.size() + 1) * 2) return FALSE;
  lstrcpyW(buffer, dir.c_str());
  *size = DWORD((dir.size() + 1) * 2);
  return TRUE;
}

HWND WINAPI StoodInFocus() { return kFocus; }

int WINAPI RecordingFileOperation(LPSHFILEOPSTRUCTW op) {
  ++g_op.calls;
  g_op.func = op->wFunc;
  g_op.flags = op->fFlags;
  g_op.hwnd = op->hwnd;
  g_op.from.clear();
  g_op.wide_from.clear();
  for (const wchar_t* p = op->pFrom; *p; p += lstrlenW(p) + 1) {
    g_op.wide_from.emplace_back(p);
    g_op.from.push_back(shx::Narrow(p));
  }
  const int to = lstrlenW(op->pTo);
  g_op.to_list = shx::Narrow(op->pTo) + '\0' + (op->pTo[to + 1] == L'\0' ? std::string(1, '\0') : "");
  if (!g_real_file_operation) return 0;
  SHFILEOPSTRUCTW quiet = *op;
  quiet.hwnd = nullptr;
  quiet.fFlags |= FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;  // no one to answer dialogs here
  if (op->wFunc != FO_MOVE) return g_op.result = SHFileOperationW(&quiet);
  // Wine refuses to move several files into one folder at once (ERROR_CANCELLED), so the
  // move is carried out name by name.
  for (const std::wstring& name : g_op.wide_from) {
    const std::wstring one = name + L'\0';
    quiet.pFrom = one.c_str();
    if (const int result = SHFileOperationW(&quiet)) return g_op.result = result;
  }
  return g_op.result = 0;
}

PIDLIST_ABSOLUTE WINAPI StoodInBrowser(LPBROWSEINFOW info) {
  ++g_browses;
  g_browse = *info;
  g_browse_title = info->lpszTitle ? shx::Narrow(info->lpszTitle) : "";
  if (g_cancel_browser) return nullptr;
  return static_cast<PIDLIST_ABSOLUTE>(g_malloc.Alloc(16));  // what the menu must give back
}

BOOL WINAPI StoodInPath(PCIDLIST_ABSOLUTE, LPWSTR path) {
  if (g_no_path) return FALSE;
  lstrcpyW(path, g_chosen_folder.c_str());
  return TRUE;
}

MenuPlatform StoodIn() {
  MenuPlatform p = hueshell::DefaultMenuPlatform();
  p.SHGetMalloc = StoodInMalloc;
  p.GetColorDirectoryW = StoodInColourDir;
  p.GetFocus = StoodInFocus;
  p.SHFileOperationW = RecordingFileOperation;
  p.SHBrowseForFolderW = StoodInBrowser;
  p.SHGetPathFromIDListW = StoodInPath;
  return p;
}
const MenuPlatform g_platform = StoodIn();

// ---- fixture -----------------------------------------------------------------------

class Menu : public ::testing::Test {
 protected:
  void SetUp() override {
    g_no_malloc = g_fail_colour_dir = g_real_file_operation = g_cancel_browser = g_no_path = false;
    g_colour_dir = "C:\\windows\\system32\\spool\\drivers\\color";
    g_wide_colour_dir.clear();
    g_malloc.refuse = false;
    g_malloc.allocations = 0;
    g_op = Recorded();
    g_browses = 0;
    Create(g_platform);
  }
  void TearDown() override {
    if (init_) init_->Release();
    if (menu_) menu_->Release();
    EXPECT_EQ(g_malloc.live, 0) << "no block of the shell allocator is left behind";
  }

  void Create(const MenuPlatform& platform) {
    if (init_) init_->Release();
    if (menu_) menu_->Release();
    ASSERT_EQ(hueshell::CreateICCMenuWith(platform, nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu_)), S_OK);
    ASSERT_EQ(menu_->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init_)), S_OK);
  }

  HRESULT Select(const std::vector<std::string>& names, bool offer_drop = true) {
    return SelectBlock(shx::DropList(names), offer_drop);
  }
  HRESULT SelectBlock(std::vector<uint8_t> block, bool offer_drop = true) {
    shx::DropDataObject data(std::move(block), offer_drop);
    return init_->Initialize(nullptr, &data, nullptr);
  }

  // The items a QueryContextMenu call adds to a menu that already holds two.
  std::vector<std::string> Items(HRESULT* result, UINT flags = CMF_NORMAL, std::vector<UINT>* ids = nullptr) {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 1, "Open");
    AppendMenuA(menu, MF_STRING, 2, "Print");
    *result = menu_->QueryContextMenu(menu, 1, 100, 200, flags);
    std::vector<std::string> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      char text[128] = {};
      GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION);
      items.emplace_back(text);
      if (ids) ids->push_back(GetMenuItemID(menu, i));
    }
    DestroyMenu(menu);
    return items;
  }

  HRESULT Invoke(const char* verb = nullptr, DWORD mask = 0, HWND owner = nullptr) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = mask;
    info.hwnd = owner;
    info.lpVerb = verb ? verb : MAKEINTRESOURCEA(0);
    return menu_->InvokeCommand(&info);
  }

  IContextMenu* menu_ = nullptr;
  IShellExtInit* init_ = nullptr;
};

const std::string kIn = "C:\\windows\\system32\\spool\\drivers\\color";

TEST_F(Menu, ThreeFilesOutsideAreCopiedToTheColourFolder) {
  const std::vector<std::string> names = {"D:\\profiles\\a.icc", "D:\\profiles\\b.icm", "E:\\c.icc"};
  ASSERT_EQ(Select(names), S_OK);
  HRESULT hr = E_FAIL;
  std::vector<UINT> ids;
  EXPECT_EQ(Items(&hr, CMF_NORMAL, &ids), (std::vector<std::string>{"Open", "Copy to Color Folder", "Print"}));
  EXPECT_EQ(hr, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1));
  EXPECT_EQ(ids[1], 100u);

  ASSERT_EQ(Invoke(), S_OK);
  EXPECT_EQ(g_op.calls, 1);
  EXPECT_EQ(g_op.func, UINT(FO_COPY));
  EXPECT_EQ(g_op.from, names);
  EXPECT_EQ(g_op.to_list, kIn + std::string(2, '\0'));
  EXPECT_EQ(g_op.flags, FOF_ALLOWUNDO);
  EXPECT_EQ(g_op.hwnd, kFocus);
  EXPECT_EQ(g_browses, 0);
  EXPECT_EQ(g_malloc.allocations, 1);

  // The invocation's window owns the operation's windows; without a user interface the
  // copy shows none.
  const HWND owner = reinterpret_cast<HWND>(0x5678);
  ASSERT_EQ(Invoke(nullptr, CMIC_MASK_FLAG_NO_UI, owner), S_OK);
  EXPECT_EQ(g_op.hwnd, owner);
  EXPECT_EQ(g_op.flags, FOF_ALLOWUNDO | FOF_SILENT | FOF_NOERRORUI | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR);
  EXPECT_EQ(g_op.calls, 2);
}

// The shell sends verb names ("delete" for the Delete key, "properties", "open"...) through
// every handler of a selection: none of them, and no other offset, may copy or move.
TEST_F(Menu, OnlyItsOwnCommandActs) {
  for (const std::string& first : {std::string("D:\\a.icc"), kIn + "\\a.icc"}) {
    ASSERT_EQ(Select({first}), S_OK);
    g_cancel_browser = true;
    for (const char* verb : {"delete", "properties", "open", "runas", "print"})
      EXPECT_EQ(Invoke(verb), E_INVALIDARG) << verb;
    EXPECT_EQ(Invoke(MAKEINTRESOURCEA(1)), E_INVALIDARG);
    EXPECT_EQ(menu_->InvokeCommand(nullptr), E_INVALIDARG);
    CMINVOKECOMMANDINFOEX wide = {};
    wide.cbSize = sizeof wide;
    wide.fMask = CMIC_MASK_UNICODE;
    wide.lpVerb = "delete";
    wide.lpVerbW = L"delete";
    EXPECT_EQ(menu_->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&wide)), E_INVALIDARG);
    wide.lpVerb = MAKEINTRESOURCEA(0);
    EXPECT_EQ(menu_->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&wide)), E_INVALIDARG);
    EXPECT_EQ(g_op.calls, 0);
    EXPECT_EQ(g_browses, 0);
  }
  // The move needs the folder browser: without a user interface it is refused.
  EXPECT_EQ(Invoke(nullptr, CMIC_MASK_FLAG_NO_UI), HRESULT_FROM_WIN32(ERROR_CANCELLED));
  EXPECT_EQ(g_browses, 0);

  // Menus: a double-click asks only for the default verb, and a range without room adds
  // nothing; a menu that is not one is refused.
  HRESULT hr = E_FAIL;
  EXPECT_EQ(Items(&hr, CMF_DEFAULTONLY), (std::vector<std::string>{"Open", "Print"}));
  EXPECT_EQ(hr, S_OK);
  HMENU menu = CreatePopupMenu();
  EXPECT_EQ(menu_->QueryContextMenu(menu, 0, 200, 100, CMF_NORMAL), S_OK);
  EXPECT_EQ(GetMenuItemCount(menu), 0);
  DestroyMenu(menu);
  EXPECT_EQ(menu_->QueryContextMenu(nullptr, 0, 100, 200, CMF_NORMAL), E_INVALIDARG);
  EXPECT_EQ(menu_->QueryContextMenu(menu, 0, 100, 200, CMF_NORMAL), E_INVALIDARG) << "destroyed";
}

TEST_F(Menu, OnlyTheFirstNameDecidesByAPurePrefix) {
  g_colour_dir = "C:\\Data\\color";
  const struct {
    std::vector<std::string> names;
    const char* item;
  } cases[] = {
      {{"C:\\Data\\color\\a.icc"}, "Move to a Backup Folder"},
      {{"C:\\Data\\color\\sub\\a.icc"}, "Move to a Backup Folder"},
      {{"C:\\Data\\color2\\a.icc"}, "Move to a Backup Folder"},
      {{"c:\\data\\COLOR\\a.icc"}, "Move to a Backup Folder"},
      {{"C:\\Data\\color"}, "Move to a Backup Folder"},
      {{"C:\\Data\\colo"}, "Copy to Color Folder"},
      {{"C:\\Data\\a.icc"}, "Copy to Color Folder"},
      {{"C:\\Data\\color\\a.icc", "D:\\b.icc"}, "Move to a Backup Folder"},
      {{"D:\\b.icc", "C:\\Data\\color\\a.icc"}, "Copy to Color Folder"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Select(c.names), S_OK) << c.names[0];
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Items(&hr)[1], c.item) << c.names[0];
    char help[64] = {};
    menu_->GetCommandString(0, GCS_HELPTEXTA, nullptr, help, sizeof help);
    EXPECT_EQ(std::string(help), std::string(c.item).find("Copy") == 0 ? "Copy File to Color Folder"
                                                                        : "Move File to a Backup Folder");
  }
}

TEST_F(Menu, LongNamesAreCutTo259Characters) {
  const std::string long_name = "D:\\" + std::string(300, 'n') + ".icc";
  ASSERT_EQ(Select({long_name, "D:\\short.icc"}), S_OK);
  ASSERT_EQ(Invoke(), S_OK);
  ASSERT_EQ(g_op.from.size(), 2u);
  EXPECT_EQ(g_op.from[0], long_name.substr(0, 259));
  EXPECT_EQ(g_op.from[1], "D:\\short.icc");

  // The cut name is the one compared.
  g_colour_dir = "D:\\" + std::string(250, 'n');
  ASSERT_EQ(Select({long_name}), S_OK);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(Items(&hr)[1], "Move to a Backup Folder");
}

TEST_F(Menu, HelpTextsVerbsAndValidation) {
  ASSERT_EQ(Select({"D:\\a.icc"}), S_OK);
  char narrow[32];
  memset(narrow, '#', sizeof narrow);
  EXPECT_EQ(menu_->GetCommandString(0, GCS_HELPTEXTA, nullptr, narrow, 10), S_OK);
  EXPECT_STREQ(narrow, "Copy File");
  EXPECT_EQ(narrow[10], '#');
  wchar_t wide[32];
  wmemset(wide, L'#', 32);
  EXPECT_EQ(menu_->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(wide), 10), S_OK);
  EXPECT_STREQ(wide, L"Copy File");
  EXPECT_EQ(wide[10], L'#');
  wmemset(wide, L'#', 32);
  EXPECT_EQ(menu_->GetCommandString(7, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(wide), 10), E_INVALIDARG);
  EXPECT_EQ(wide[0], L'#');
  EXPECT_EQ(menu_->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(wide), 32), S_OK);
  EXPECT_STREQ(wide, L"Copy File to Color Folder");

  // No verb name is published, so no caller may read the untouched buffer as one.
  for (UINT type : {UINT(GCS_VERBA), UINT(GCS_VERBW), 99u}) {
    memset(narrow, '#', sizeof narrow);
    EXPECT_EQ(menu_->GetCommandString(0, type, nullptr, narrow, sizeof narrow), E_NOTIMPL) << type;
    EXPECT_EQ(std::string(narrow, sizeof narrow), std::string(sizeof narrow, '#')) << type;
  }
  for (UINT type : {UINT(GCS_VALIDATEA), UINT(GCS_VALIDATEW)}) {
    EXPECT_EQ(menu_->GetCommandString(0, type, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(menu_->GetCommandString(1, type, nullptr, nullptr, 0), S_FALSE);
  }
  EXPECT_EQ(menu_->GetCommandString(0, GCS_HELPTEXTA, nullptr, nullptr, 10), S_OK);
  memset(narrow, '#', sizeof narrow);
  EXPECT_EQ(menu_->GetCommandString(0, GCS_HELPTEXTA, nullptr, narrow, 0), S_OK);
  EXPECT_EQ(narrow[0], '#');

  ASSERT_EQ(Select({kIn + "\\a.icc"}), S_OK);
  wmemset(wide, L'#', 32);
  EXPECT_EQ(menu_->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(wide), 10), S_OK);
  EXPECT_STREQ(wide, L"Move File");
}

TEST_F(Menu, MoveIntoTheChosenFolder) {
  const std::string colour = shx::TempFolder("hueshell-color");
  const std::string backup = shx::TempFolder("hueshell-backup");
  g_colour_dir = colour;
  g_chosen_folder = shx::Wide(backup);
  g_real_file_operation = true;
  const std::vector<std::string> names = {colour + "\\one.icc", colour + "\\two.icm"};
  for (const std::string& name : names) shx::WriteFileBytes(name, shx::BuildProfile(shx::Described(name)));
  ASSERT_EQ(Select(names), S_OK);

  ASSERT_EQ(Invoke(), S_OK);
  EXPECT_EQ(g_browses, 1);
  EXPECT_EQ(g_browse.hwndOwner, kFocus);
  EXPECT_EQ(g_browse.pidlRoot, nullptr);
  EXPECT_EQ(g_browse.pszDisplayName, nullptr);
  EXPECT_EQ(g_browse_title, "Choose Backup Folder");
  EXPECT_EQ(g_browse.ulFlags, UINT(BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE));
  EXPECT_EQ(g_browse.lpfn, nullptr);
  EXPECT_EQ(g_op.func, UINT(FO_MOVE));
  EXPECT_EQ(g_op.to_list, backup + std::string(2, '\0'));
  EXPECT_EQ(g_op.flags, FOF_ALLOWUNDO);
  EXPECT_EQ(g_op.result, 0);
  for (const char* name : {"one.icc", "two.icm"}) {
    EXPECT_FALSE(shx::FileExists(colour + "\\" + name)) << name;
    EXPECT_TRUE(shx::FileExists(backup + "\\" + name)) << name;
  }
}

TEST_F(Menu, ACancelledOrPathlessBrowserMovesNothing) {
  const std::string colour = shx::TempFolder("hueshell-color");
  g_colour_dir = colour;
  g_real_file_operation = true;
  const std::string name = colour + "\\stay.icc";
  shx::WriteFileBytes(name, shx::BuildProfile(shx::Described("stay")));
  ASSERT_EQ(Select({name}), S_OK);

  g_cancel_browser = true;
  EXPECT_EQ(Invoke(), S_OK);
  EXPECT_EQ(g_op.calls, 0);
  EXPECT_EQ(g_malloc.allocations, 1) << "only the source list";
  EXPECT_EQ(g_malloc.live, 0);

  // A folder without a file-system path must not become "the current directory".
  g_cancel_browser = false;
  g_no_path = true;
  EXPECT_EQ(Invoke(), S_OK);
  EXPECT_EQ(g_op.calls, 0);
  EXPECT_EQ(g_malloc.live, 0);
  EXPECT_TRUE(shx::FileExists(name));
}

TEST_F(Menu, CopyIntoWinesColourFolder) {
  MenuPlatform real = g_platform;
  real.GetColorDirectoryW = hueshell::DefaultMenuPlatform().GetColorDirectoryW;
  Create(real);
  g_real_file_operation = true;
  char colour[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  ASSERT_TRUE(colour::GetColorDirectoryA(nullptr, colour, &size));
  CreateDirectoryA(colour, nullptr);

  const std::string source = shx::TempFolder("hueshell-copy");
  const std::vector<std::string> leaves = {"hueshell-copy-1.icc", "hueshell-copy-2.icm"};
  std::vector<std::string> names;
  for (const std::string& leaf : leaves) {
    names.push_back(source + "\\" + leaf);
    DeleteFileA((std::string(colour) + "\\" + leaf).c_str());
    shx::WriteFileBytes(names.back(), shx::BuildProfile(shx::Described(leaf)));
  }
  ASSERT_EQ(Select(names), S_OK);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(Items(&hr)[1], "Copy to Color Folder");
  ASSERT_EQ(Invoke(), S_OK);
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    const std::string copied = std::string(colour) + "\\" + leaves[i];
    ASSERT_TRUE(shx::FileExists(copied)) << copied;
    EXPECT_EQ(shx::FileBytes(copied), shx::FileBytes(names[i]));
    EXPECT_TRUE(shx::FileExists(names[i])) << "a copy keeps the source";
    DeleteFileA(copied.c_str());
  }
}

TEST_F(Menu, ReinitializeAndCallsWithoutASelection) {
  // Before Initialize: nothing to offer and nothing to run.
  HRESULT hr = E_FAIL;
  EXPECT_EQ(Items(&hr), (std::vector<std::string>{"Open", "Print"}));
  EXPECT_EQ(hr, S_OK);
  char help[32] = {};
  EXPECT_EQ(menu_->GetCommandString(0, GCS_HELPTEXTA, nullptr, help, sizeof help), S_OK);
  EXPECT_EQ(Invoke(), E_FAIL);
  EXPECT_EQ(g_op.calls, 0);

  EXPECT_EQ(init_->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(Select({}), E_INVALIDARG) << "an empty drop list";
  EXPECT_EQ(Select({"", ""}), E_INVALIDARG) << "a drop list of empty names";
  EXPECT_EQ(Invoke(), E_FAIL);

  ASSERT_EQ(Select({"D:\\a.icc"}), S_OK);
  EXPECT_EQ(Items(&hr)[1], "Copy to Color Folder");
  ASSERT_EQ(Select({kIn + "\\b.icc", "D:\\c.icc"}), S_OK);
  EXPECT_EQ(Items(&hr)[1], "Move to a Backup Folder");
  g_cancel_browser = true;
  EXPECT_EQ(Invoke(), S_OK);

  // A data object without a drop list leaves no names behind.
  EXPECT_EQ(Select({"D:\\a.icc"}, false), E_INVALIDARG);
  EXPECT_EQ(Items(&hr), (std::vector<std::string>{"Open", "Print"}));
  EXPECT_EQ(Invoke(), E_FAIL);

  g_fail_colour_dir = true;
  EXPECT_EQ(Select({"D:\\a.icc"}), E_FAIL);
  EXPECT_EQ(Invoke(), E_FAIL);
  EXPECT_EQ(g_op.calls, 0);
}

// Drop lists as an attacker would make them: refused whole, never read past their block.
TEST_F(Menu, HostileAndHugeDropLists) {
  std::vector<uint8_t> block = shx::DropList(std::vector<std::string>{"D:\\a.icc"});
  std::vector<uint8_t> outside = block, unended = block, short_record(block.begin(), block.begin() + 19);
  outside[0] = 0xF0;  // pFiles far past the block
  outside[1] = 0xFF;
  unended.pop_back();  // the list's final zero is missing
  std::vector<uint8_t> wide_unended = shx::DropList(std::vector<std::wstring>{L"D:\\a.icc"});
  wide_unended.pop_back();  // half of the final zero
  for (const auto& bad : {outside, unended, short_record, wide_unended})
    EXPECT_EQ(SelectBlock(bad), E_INVALIDARG);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(Items(&hr), (std::vector<std::string>{"Open", "Print"}));

  // 300,000 names are read whole.  (A reader that went back over the names read so far
  // would take minutes and meet the test's time-out; the time itself is not measured here.)
  std::vector<std::wstring> many(300000);
  for (std::size_t i = 0; i < many.size(); ++i) many[i] = L"D:\\profiles\\" + std::to_wstring(i) + L".icc";
  block = shx::DropList(many);
  ASSERT_EQ(SelectBlock(block), S_OK);
  ASSERT_EQ(Invoke(), S_OK);
  ASSERT_EQ(g_op.wide_from.size(), many.size());
  EXPECT_EQ(g_op.wide_from.back(), many.back());
}

// Names outside the ANSI code page are copied and moved by their real names.
TEST_F(Menu, UnicodeNamesAreCopiedAndMoved) {
  const std::wstring root = shx::Wide(shx::TempFolder("hueshell-unicode"));
  const std::wstring colour = root + L"\\\u03a7\u03c1\u03ce\u03bc\u03b1";     // Greek
  const std::wstring backup = root + L"\\\u0440\u0435\u0437\u0435\u0440\u0432";  // Cyrillic
  const std::wstring source = root + L"\\\u4e2d\u6587";                          // Chinese
  for (const std::wstring& folder : {colour, backup, source}) ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::vector<std::wstring> leaves = {L"\u0394\u03b9\u03ac.icc", L"\U0001F3A8.icm"};  // emoji
  std::vector<std::wstring> names;
  const std::vector<uint8_t> profile = shx::BuildProfile(shx::Described("x"));
  for (const std::wstring& leaf : leaves) {
    names.push_back(source + L"\\" + leaf);
    HANDLE h = CreateFileW(names.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, profile.data(), DWORD(profile.size()), &written, nullptr);
    CloseHandle(h);
  }
  g_wide_colour_dir = colour;
  g_real_file_operation = true;
  ASSERT_EQ(SelectBlock(shx::DropList(names)), S_OK);
  ASSERT_EQ(Invoke(), S_OK);
  EXPECT_EQ(g_op.wide_from, names);
  std::vector<std::wstring> copies;
  for (const std::wstring& leaf : leaves) copies.push_back(colour + L"\\" + leaf);
  for (const std::wstring& copy : copies)
    EXPECT_NE(GetFileAttributesW(copy.c_str()), INVALID_FILE_ATTRIBUTES);

  g_chosen_folder = backup;
  ASSERT_EQ(SelectBlock(shx::DropList(copies)), S_OK);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(Items(&hr)[1], "Move to a Backup Folder");
  ASSERT_EQ(Invoke(), S_OK);
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    EXPECT_EQ(GetFileAttributesW(copies[i].c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW((backup + L"\\" + leaves[i]).c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

TEST_F(Menu, NoAllocatorOrNoMemoryForTheSourceList) {
  ASSERT_EQ(Select({"D:\\a.icc"}), S_OK);
  g_malloc.refuse = true;
  EXPECT_EQ(Invoke(), E_OUTOFMEMORY);
  EXPECT_EQ(g_op.calls, 0);
  g_malloc.refuse = false;

  g_no_malloc = true;
  Create(g_platform);
  ASSERT_EQ(Select({kIn + "\\a.icc"}), S_OK);
  EXPECT_EQ(Invoke(), E_OUTOFMEMORY);
  EXPECT_EQ(g_op.calls, 0);
  EXPECT_EQ(g_browses, 0);
}

}  // namespace
