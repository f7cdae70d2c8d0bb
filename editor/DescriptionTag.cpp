#include "DescriptionTag.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "ansi_code_page.h"
#include "colour_service.h"
#include "service_tags.h"
#include "user_language.h"
#include "wide_text.h"

namespace {

constexpr TAGTYPE kDescTag = icc::kDescriptionTag;

PROFILE FileProfile(const char* path) {
  PROFILE profile = {};
  profile.dwType = PROFILE_FILENAME;
  profile.pProfileData = const_cast<char*>(path);
  profile.cbDataSize = DWORD(strlen(path) + 1);
  return profile;
}

PROFILE FileProfile(const wchar_t* path) {
  PROFILE profile = {};
  profile.dwType = PROFILE_FILENAME;
  profile.pProfileData = const_cast<wchar_t*>(path);
  profile.cbDataSize = DWORD((wcslen(path) + 1) * sizeof(wchar_t));
  return profile;
}

HPROFILE OpenProfile(const char* path, DWORD access, DWORD share) {
  PROFILE record = FileProfile(path);
  return colour::OpenColorProfileA(&record, access, share, OPEN_EXISTING);
}

HPROFILE OpenProfile(const wchar_t* path, DWORD access, DWORD share) {
  PROFILE record = FileProfile(path);
  return colour::OpenColorProfileW(&record, access, share, OPEN_EXISTING);
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

icc::Language UserLanguage() {
  icc::Language language;
  colour::UserLanguage(language.language, language.country);
  return language;
}

}  // namespace

CDescriptionTag::~CDescriptionTag() { delete[] m_pTag; }

std::vector<uint8_t> CDescriptionTag::BuiltTag() const {
  return m_pTag ? std::vector<uint8_t>(m_pTag, m_pTag + m_cbTag) : std::vector<uint8_t>();
}

BOOL CDescriptionTag::Read(const char* pszPath, std::string& strDescription) {
  icc::Description description;
  if (!ReadProfile(OpenProfile(pszPath, PROFILE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE),
                   &description))
    return FALSE;
  const icc::CodePage& ansi = colour::AnsiCodePage();
  strDescription = ansi.Encode(icc::DescriptionText(description, ansi));
  m_description = std::move(description);
  return TRUE;
}

BOOL CDescriptionTag::Read(const wchar_t* pszPath, std::wstring& strDescription) {
  icc::Description description;
  if (!ReadProfile(OpenProfile(pszPath, PROFILE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE),
                   &description))
    return FALSE;
  strDescription = colour::Wide(icc::DescriptionText(description, colour::AnsiCodePage()));
  m_description = std::move(description);
  return TRUE;
}

BOOL CDescriptionTag::Read(const std::vector<BYTE>& profile, std::wstring& strDescription) {
  static BYTE none = 0;  // an empty file is still a buffer, one that holds no profile
  PROFILE record = {PROFILE_MEMBUFFER, profile.empty() ? &none : const_cast<BYTE*>(profile.data()),
                    DWORD(profile.size())};
  if (profile.size() > MAXDWORD) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  icc::Description description;
  if (!ReadProfile(colour::OpenColorProfileW(&record, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING),
                   &description))
    return FALSE;
  strDescription = colour::Wide(icc::DescriptionText(description, colour::AnsiCodePage()));
  m_description = std::move(description);
  return TRUE;
}

// Reads and parses the 'desc' tag of the profile just opened, and closes it.
BOOL CDescriptionTag::ReadProfile(HPROFILE hProfile, icc::Description* pDescription) {
  colour::ProfileHandle profile(hProfile);
  if (!profile.get()) return FALSE;
  colour::ServiceTags tags(profile.get());
  return ReadTags(tags, pDescription) && profile.Close();
}

BOOL CDescriptionTag::ReadTags(icc::TagStore& tags, icc::Description* pDescription) {
  std::vector<uint8_t> tag;
  icc::Header header;
  icc::Result r = tags.Header(&header);
  if (r.ok()) r = tags.ReadTag(kDescTag, &tag);
  if (!r.ok()) return Fail(colour::ToWin32(r));
  m_cbStored = DWORD(tag.size());

  // The description takes effect only with a successful Read, so that a caller who keeps
  // the previous profile after a failure keeps its kind of description too; m_bUnicode
  // follows the tag as soon as it has been read.
  if (!icc::ParseDescription(tag.data(), tag.size(), UserLanguage(), pDescription))
    return Fail(ERROR_INVALID_PROFILE);
  pDescription->version = uint8_t(header.version_major());
  if (pDescription->kind == icc::DescriptionKind::Text) m_bUnicode = pDescription->has_unicode;
  return TRUE;
}

BOOL CDescriptionTag::Read(icc::TagStore& tags, std::wstring& strDescription) {
  icc::Description description;
  if (!ReadTags(tags, &description)) return FALSE;
  strDescription = colour::Wide(icc::DescriptionText(description, colour::AnsiCodePage()));
  m_description = std::move(description);
  return TRUE;
}

BOOL CDescriptionTag::Write(icc::TagStore& tags) {
  if (!m_pTag) return Fail(ERROR_INVALID_DATA);
  const icc::Result r = icc::StoreDescription(tags, m_built);
  if (!r.ok()) return Fail(colour::ToWin32(r));
  m_cbStored = m_cbTag;
  return TRUE;
}

BOOL CDescriptionTag::Build(const char* pszDescription) {
  return BuildText(colour::AnsiCodePage().Decode(pszDescription));
}

BOOL CDescriptionTag::Build(const wchar_t* pszDescription) {
  return BuildText(colour::Utf16(pszDescription));
}

BOOL CDescriptionTag::BuildText(const std::u16string& text) {
  // The caller does not write after a failed Build; leave nothing that could be.
  delete[] m_pTag;
  m_pTag = nullptr;
  icc::Description built = m_description;
  if (built.kind == icc::DescriptionKind::Text && built.has_unicode != (m_bUnicode != FALSE)) {
    built.has_unicode = m_bUnicode != FALSE;
    built.unicode_stored.clear();  // a record asked for, not one read
  }
  if (!icc::SetDescriptionText(&built, text, colour::AnsiCodePage()))
    return Fail(ERROR_NO_UNICODE_TRANSLATION);
  std::vector<uint8_t> tag;
  if (!icc::BuildDescription(built, &tag)) throw std::bad_alloc();

  m_pTag = new BYTE[tag.size()];
  memcpy(m_pTag, tag.data(), tag.size());
  m_cbTag = DWORD(tag.size());
  m_built = std::move(built);
  return TRUE;
}

BOOL CDescriptionTag::Write(const char* pszPath) {
  if (!m_pTag) return Fail(ERROR_INVALID_DATA);
  return WriteProfile(OpenProfile(pszPath, PROFILE_READWRITE, 0));
}

BOOL CDescriptionTag::Write(const wchar_t* pszPath) {
  if (!m_pTag) return Fail(ERROR_INVALID_DATA);
  return WriteProfile(OpenProfile(pszPath, PROFILE_READWRITE, 0));
}

// Stores the built description in the profile just opened for writing, and closes it.  A
// change that fails keeps the handle from storing anything.
BOOL CDescriptionTag::WriteProfile(HPROFILE hProfile) {
  colour::ProfileHandle profile(hProfile);
  if (!profile.get()) return FALSE;
  colour::ServiceTags tags(profile.get());
  const DWORD cbStored = m_cbStored;
  if (!Write(tags)) return FALSE;
  if (profile.Close()) return TRUE;
  const DWORD error = GetLastError();
  m_cbStored = cbStored;
  return Fail(error);
}
