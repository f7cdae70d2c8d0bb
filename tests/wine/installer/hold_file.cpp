// Keeps a file open, sharing reading only, for SECONDS seconds: as a program that has loaded
// a library does, it keeps the file from being deleted or replaced until then.
//
//   hold_file PATH SECONDS
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  Sleep(DWORD(wcstoul(argv[2], nullptr, 10)) * 1000);
  CloseHandle(file);
  return 0;
}
