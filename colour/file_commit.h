// The file steps of a save on Windows: where a file really lives, a temporary file beside
// it, and putting a finished file in its place in one step.
#pragma once

#include <windows.h>

#include <string>

namespace colour {

// The path of the open file, with symbolic links, junctions and mount points on the way
// resolved as Windows resolves them; empty when the system cannot tell.
std::wstring FinalPathName(HANDLE file);
// The path of the file that `path` names, with symbolic links, junctions and mount points
// on the way resolved as Windows resolves them; `path` itself when the file does not exist
// or cannot be resolved.
std::wstring FinalPathName(const std::wstring& path);

// Creates a file with a new name in the folder of `beside`, opens it for writing and marks
// it for deletion: the system removes it when the process ends before KeepTemporaryFile
// (Ctrl+C, a closed console window, a process ended from outside in the middle of a save).
// The mark follows the creation at once; a process ended between the two leaves an empty
// file.  The file must not be opened again while it is marked.  ERROR_SUCCESS or the
// reason, with no file left behind.
DWORD OpenTemporaryFile(const std::wstring& beside, std::wstring* temp, HANDLE* file);

// Takes the mark back from a complete temporary file, just before it is closed and put in
// its place; ERROR_SUCCESS or the reason.
DWORD KeepTemporaryFile(HANDLE file);

// Puts the complete, closed file `replacement` (in the same folder) in the place of
// `target` by one rename: an existing target is replaced and its security and attributes
// go to the new file first, a missing one is created.  At every instant `target` names the
// old file or the new one.  A read-only target is refused (ERROR_ACCESS_DENIED).  Returns
// ERROR_SUCCESS or the reason, with `target` and `replacement` as they were.
DWORD ReplaceWithFile(const std::wstring& target, const std::wstring& replacement);

}  // namespace colour
