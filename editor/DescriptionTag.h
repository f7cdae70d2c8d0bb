// CDescriptionTag: reads the description out of a profile's 'desc' tag, builds a new
// tag from edited text and writes it back, correcting the header's size field.
// Failures return FALSE with the reason in the thread's last-error value; an allocation
// that cannot be satisfied throws std::bad_alloc, which abandons the whole command.
//
// This is the Windows layer over the portable codec (description.h): it reads and writes
// the tags through the colour service, converts between the ANSI code page and UTF-16, and
// keeps the fields the program relies on.  Version 4 profiles store their description as
// localized records ('mluc'): Read shows the record for the user's UI language (else
// en-US, else the first), Build puts the edited text into that record and keeps the
// others.  A profile that also carries a localized copy of its name ('dscm') gets the new
// text there too when it is written.
#pragma once

#include <windows.h>
#include <icm.h>

#include <string>
#include <vector>

#include "description.h"

class CDescriptionTag {
 public:
  CDescriptionTag() = default;
  virtual ~CDescriptionTag();
  CDescriptionTag(const CDescriptionTag&) = delete;
  CDescriptionTag& operator=(const CDescriptionTag&) = delete;

  // The ANSI forms: the description and the path in the ANSI code page.
  BOOL Read(const char* pszPath, std::string& strDescription);
  BOOL Build(const char* pszDescription);
  BOOL Write(const char* pszPath);

  // The Unicode forms: any path Windows accepts, and text that no code page limits.
  // Read gives a localized record as stored; for a description record, the Unicode record
  // when it holds the same text as the ASCII record (or all of what the ASCII record could
  // not), else the ASCII record.  Build puts the text into the localized record unchanged;
  // for a description record the ASCII record takes the ANSI form and, when that loses
  // characters, the Unicode record (added if the tag had none) takes the whole text.
  // Everything the ANSI forms can represent gives the same bytes as the ANSI forms.
  BOOL Read(const wchar_t* pszPath, std::wstring& strDescription);
  BOOL Build(const wchar_t* pszDescription);
  BOOL Write(const wchar_t* pszPath);

  DWORD m_cbStored = 0;     // size of the 'desc' tag in the file last read or written
  BYTE* m_pTag = nullptr;   // the tag made by the last Build
  BOOL m_bUnicode = FALSE;  // whether Build writes a Unicode description
  DWORD m_cbTag = 0;        // size of m_pTag

  icc::Description m_description;  // the description as last read successfully
  icc::Description m_built;        // the description of the last Build

 private:
  BOOL ReadProfile(HPROFILE hProfile, icc::Description* pDescription);
  BOOL BuildText(const std::u16string& text, const std::string& ansi, bool bAnsiLost);
  BOOL WriteProfile(HPROFILE hProfile);
  BOOL PrepareLocalizedName(HPROFILE hProfile, std::vector<uint8_t>* pTag, DWORD* pcbStored);
};
