// CDescriptionTag: reads the description out of a profile's 'desc' tag, builds a new
// tag from edited text and writes it back, correcting the header's size field.
// Failures return FALSE with the reason in the thread's last-error value; an allocation
// that cannot be satisfied throws std::bad_alloc, which abandons the whole command.
//
// This is the Windows layer over the portable codec (description.h): it reads and writes
// the tags through the colour service (colour::ServiceTags), shows the text that every
// program shows (icc::DescriptionText, the ANSI code page for the ASCII record) and stores
// new text by the codec's rule (icc::SetDescriptionText, icc::StoreDescription).  Version 4
// profiles store their description as localized records ('mluc'): Read shows the record for
// the user's UI language (else en-US, else the first), Build puts the edited text into that
// record and keeps the others.  A profile's localized name ('dscm') follows where it said
// the text shown.  A damaged description is shown as far as it goes but never written.
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
  // Everything the ANSI forms can represent gives the same bytes as the ANSI forms.  Build
  // refuses text that is not valid UTF-16 (ERROR_NO_UNICODE_TRANSLATION).
  BOOL Read(const wchar_t* pszPath, std::wstring& strDescription);
  BOOL Build(const wchar_t* pszDescription);
  BOOL Write(const wchar_t* pszPath);

  // The same over a profile's bytes already read, which the colour service opens as a
  // profile in memory.
  BOOL Read(const std::vector<BYTE>& profile, std::wstring& strDescription);

  // The same over the tags of a profile held elsewhere, such as a copy in memory: Read
  // shows its description, Write stores the built one there (the caller saves the copy).
  BOOL Read(icc::TagStore& tags, std::wstring& strDescription);
  BOOL Write(icc::TagStore& tags);

  // The tag made by the last Build (empty when there is none).
  std::vector<uint8_t> BuiltTag() const;

  DWORD m_cbStored = 0;     // size of the 'desc' tag in the file last read or written
  BOOL m_bUnicode = FALSE;  // whether the description read has a Unicode record
  DWORD m_cbTag = 0;        // size of the tag made by the last Build

  icc::Description m_description;  // the description as last read successfully
  icc::Description m_built;        // the description of the last Build

 private:
  BYTE* m_pTag = nullptr;  // the tag made by the last Build

  BOOL ReadProfile(HPROFILE hProfile, icc::Description* pDescription);
  BOOL ReadTags(icc::TagStore& tags, icc::Description* pDescription);
  BOOL BuildText(const std::u16string& text);
  BOOL WriteProfile(HPROFILE hProfile);
};
