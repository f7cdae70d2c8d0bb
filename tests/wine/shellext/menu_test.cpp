// ICCMenu: the command chosen from a real CF_HDROP selection, its texts, and the copy and
// move it hands to the shell, with the folder browser (and mostly the file operation)
// stood in.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "context_menu.h"
#include "guids.h"
#include "platform.h"
#include "support.h"

namespace {

using hueshell::Platform;

// ---- stand-ins ---------------------------------------------------------------------

shx::CountingMalloc g_malloc;
bool g_no_malloc = false;
std::string g_colour_dir = "C:\\windows\\system32\\spool\\drivers\\color";
bool g_fail_colour_dir = false;
bool g_real_file_operation = false;
bool g_cancel_browser = false;
bool g_no_path = false;
std::string g_chosen_folder;
const HWND kFocus = reinterpret_cast<HWND>(0x1234);

struct Recorded {
  int calls = 0;
  UINT func = 0;
  FILEOP_FLAGS flags = 0;
  HWND hwnd = nullptr;
  std::vector<std::string> from;
  std::string to_list;  // pTo up to and including its double NUL
  int result = 0;
};
Recorded g_op;
int g_browses = 0;
BROWSEINFOA g_browse;
std::string g_browse_title;

HRESULT WINAPI StoodInMalloc(IMalloc** out) {
  *out = nullptr;
  if (g_no_malloc) return E_OUTOFMEMORY;
  g_malloc.AddRef();
  *out = &g_malloc;
  return S_OK;
}

BOOL WINAPI StoodInColourDir(PCSTR machine, PSTR buffer, PDWORD size) {
  if (g_fail_colour_dir || machine || *size < g_colour_dir.size() + 1) return FALSE;
  lstrcpyA(buffer, g_colour_dir.c_str());
  *size = DWORD(g_colour_dir.size() + 1);
  return TRUE;
}

HWND WINAPI StoodInFocus() { return kFocus; }

int WINAPI RecordingFileOperation(LPSHFILEOPSTRUCTA op) {
  ++g_op.calls;
  g_op.func = op->wFunc;
  g_op.flags = op->fFlags;
  g_op.hwnd = op->hwnd;
  g_op.from.clear();
  for (const char* p = op->pFrom; *p; p += lstrlenA(p) + 1) g_op.from.emplace_back(p);
  g_op.to_list.assign(op->pTo, lstrlenA(op->pTo) + 2);
  if (!g_real_file_operation) return 0;
  SHFILEOPSTRUCTA quiet = *op;
  quiet.hwnd = nullptr;
  quiet.fFlags |= FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;  // no one to answer dialogs here
  if (op->wFunc != FO_MOVE) return g_op.result = SHFileOperationA(&quiet);
  // Wine's SHFileOperationA refuses to move several files into one folder at once
  // (ERROR_CANCELLED), so the move is carried out name by name.
  for (const std::string& name : g_op.from) {
    const std::string one = name + '\0';
    quiet.pFrom = one.c_str();
    if (const int result = SHFileOperationA(&quiet)) return g_op.result = result;
  }
  return g_op.result = 0;
}

PIDLIST_ABSOLUTE WINAPI StoodInBrowser(LPBROWSEINFOA info) {
  ++g_browses;
  g_browse = *info;
  g_browse_title = info->lpszTitle ? info->lpszTitle : "";
  if (g_cancel_browser) return nullptr;
  return static_cast<PIDLIST_ABSOLUTE>(g_malloc.Alloc(16));  // what the menu must give back
}

BOOL WINAPI StoodInPath(PCIDLIST_ABSOLUTE, LPSTR path) {
  if (g_no_path) return FALSE;
  lstrcpyA(path, g_chosen_folder.c_str());
  return TRUE;
}

Platform StoodIn() {
  Platform p = hueshell::DefaultPlatform();
  p.SHGetMalloc = StoodInMalloc;
  p.GetColorDirectoryA = StoodInColourDir;
  p.GetFocus = StoodInFocus;
  p.SHFileOperationA = RecordingFileOperation;
  p.SHBrowseForFolderA = StoodInBrowser;
  p.SHGetPathFromIDListA = StoodInPath;
  return p;
}
const Platform g_platform = StoodIn();

// ---- fixture -----------------------------------------------------------------------

class Menu : public ::testing::Test {
 protected:
  void SetUp() override {
    g_no_malloc = g_fail_colour_dir = g_real_file_operation = g_cancel_browser = g_no_path = false;
    g_colour_dir = "C:\\windows\\system32\\spool\\drivers\\color";
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

  void Create(const Platform& platform) {
    if (init_) init_->Release();
    if (menu_) menu_->Release();
    ASSERT_EQ(hueshell::CreateICCMenuWith(platform, nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu_)), S_OK);
    ASSERT_EQ(menu_->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init_)), S_OK);
  }

  HRESULT Select(const std::vector<std::string>& names, bool offer_drop = true) {
    shx::DropDataObject data(names, offer_drop);
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

  HRESULT Invoke(const char* verb = nullptr) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
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
  EXPECT_EQ(Items(&hr, CMF_DEFAULTONLY), (std::vector<std::string>{"Open", "Copy to Color Folder", "Print"}));
  EXPECT_EQ(hr, 1);

  ASSERT_EQ(Invoke(), S_OK);
  EXPECT_EQ(g_op.calls, 1);
  EXPECT_EQ(g_op.func, UINT(FO_COPY));
  EXPECT_EQ(g_op.from, names);
  EXPECT_EQ(g_op.to_list, kIn + std::string(2, '\0'));
  EXPECT_EQ(g_op.flags, FOF_ALLOWUNDO);
  EXPECT_EQ(g_op.hwnd, kFocus);
  EXPECT_EQ(g_browses, 0);
  EXPECT_EQ(g_malloc.allocations, 1);

  // Any verb, by offset or by name, runs the one command.
  ASSERT_EQ(Invoke("delete"), S_OK);
  EXPECT_EQ(g_op.calls, 2);
  EXPECT_EQ(g_op.func, UINT(FO_COPY));
  EXPECT_EQ(menu_->InvokeCommand(nullptr), S_OK);
  EXPECT_EQ(g_op.calls, 3);
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
  EXPECT_EQ(menu_->GetCommandString(7, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(wide), 10), S_OK);
  EXPECT_STREQ(wide, L"Copy File");
  EXPECT_EQ(wide[10], L'#');
  EXPECT_EQ(menu_->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(wide), 32), S_OK);
  EXPECT_STREQ(wide, L"Copy File to Color Folder");

  for (UINT type : {UINT(GCS_VERBA), UINT(GCS_VALIDATEA), UINT(GCS_VERBW), UINT(GCS_VALIDATEW), 99u}) {
    memset(narrow, '#', sizeof narrow);
    EXPECT_EQ(menu_->GetCommandString(0, type, nullptr, narrow, sizeof narrow), S_OK) << type;
    EXPECT_EQ(std::string(narrow, sizeof narrow), std::string(sizeof narrow, '#')) << type;
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
  g_chosen_folder = backup;
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
  Platform real = g_platform;
  real.GetColorDirectoryA = hueshell::DefaultPlatform().GetColorDirectoryA;
  Create(real);
  g_real_file_operation = true;
  char colour[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  ASSERT_TRUE(real.GetColorDirectoryA(nullptr, colour, &size));
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
