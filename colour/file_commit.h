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

// Creates an empty file with a new name in the folder of `beside` and returns its path in
// *temp; ERROR_SUCCESS or the reason.
DWORD CreateTemporaryFile(const std::wstring& beside, std::wstring* temp);

// Creates a temporary file as CreateTemporaryFile does and opens it for writing, marked for
// deletion: the system removes it when the process ends before KeepTemporaryFile (Ctrl+C,
// a closed console window, a process ended from outside in the middle of a save).  The file
// must not be opened again while it is marked.  ERROR_SUCCESS or the reason, with no file
// left behind.
DWORD OpenTemporaryFile(const std::wstring& beside, std::wstring* temp, HANDLE* file);

// Takes the mark back from a complete temporary file, just before it is closed and put in
// its place; ERROR_SUCCESS or the reason.
DWORD KeepTemporaryFile(HANDLE file);

// Puts the complete file `replacement` (in the same folder) in the place of `target`: an
// existing target is replaced and keeps its attributes, a missing one is created.  Returns
// ERROR_SUCCESS or the reason, with `target` as it was.  *keep_replacement tells the caller
// not to delete `replacement` after a failure: the old target is gone and the replacement
// holds the only copy.
DWORD ReplaceWithFile(const std::wstring& target, const std::wstring& replacement,
                      bool* keep_replacement);

}  // namespace colour
