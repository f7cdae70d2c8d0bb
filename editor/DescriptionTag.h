// CDescriptionTag: reads the description out of a profile's 'desc' tag, builds a new
// tag from edited text and writes it back, correcting the header's size field.
// Failures return FALSE with the reason in the thread's last-error value; an allocation
// that cannot be satisfied throws std::bad_alloc, which abandons the whole command.
#pragma once

#include <windows.h>

#include <string>

class CDescriptionTag {
 public:
  CDescriptionTag() = default;
  virtual ~CDescriptionTag();
  CDescriptionTag(const CDescriptionTag&) = delete;
  CDescriptionTag& operator=(const CDescriptionTag&) = delete;

  BOOL Read(const char* pszPath, std::string& strDescription);
  BOOL Build(const char* pszDescription);
  BOOL Write(const char* pszPath);

  DWORD m_cbStored = 0;     // size of the 'desc' tag in the file last read or written
  BYTE* m_pTag = nullptr;   // the tag made by the last Build
  BOOL m_bUnicode = FALSE;  // whether Build writes a Unicode description
  DWORD m_cbTag = 0;        // size of m_pTag
};
