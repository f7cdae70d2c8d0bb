#include "DescriptionTag.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "colour_service.h"
#include "user_language.h"

namespace {

constexpr TAGTYPE kDescTag = icc::kDescriptionTag;
constexpr TAGTYPE kLocalizedNameTag = icc::kLocalizedNameTag;

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

icc::Language UserLanguage() {
  icc::Language language;
  colour::UserLanguage(language.language, language.country);
  return language;
}

// UTF-16 text up to its first U+0000, in the ANSI code page.
std::string ToAnsi(const std::u16string& text) {
  const std::size_t end = text.find(u'\0');
  const int units = int(end == std::u16string::npos ? text.size() : end);
  if (units == 0) return std::string();
  const auto* wide = reinterpret_cast<const WCHAR*>(text.data());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
  std::string ansi(std::size_t(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide, units, &ansi[0], bytes, nullptr, nullptr);
  return ansi;
}

// ANSI text as UTF-16; FALSE with the conversion's last-error value on failure.
BOOL ToUtf16(const char* ansi, std::u16string* text) {
  const int units = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
  if (units == 0) return FALSE;
  std::vector<WCHAR> wide(static_cast<std::size_t>(units));
  if (!MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide.data(), units)) return FALSE;
  text->assign(wide.begin(), wide.end() - 1);
  return TRUE;
}

// Whether the ANSI form of the text gives the text back: false when the code page has no
// character (or only a look-alike) for some of it.
bool AnsiHoldsAll(const std::string& ansi, const std::u16string& text) {
  std::u16string back;
  return ToUtf16(ansi.c_str(), &back) && back == text;
}

std::u16string AsUtf16(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), wcslen(text));
}

std::wstring AsWide(const std::u16string& text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

}  // namespace

CDescriptionTag::~CDescriptionTag() { delete[] m_pTag; }

BOOL CDescriptionTag::Read(const char* pszPath, std::string& strDescription) {
  icc::Description description;
  if (!ReadProfile(OpenProfile(pszPath, PROFILE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE),
                   &description))
    return FALSE;
  strDescription = description.kind == icc::DescriptionKind::Localized
                       ? ToAnsi(icc::DescriptionText(description))
                       : description.ascii;
  m_description = std::move(description);
  return TRUE;
}

BOOL CDescriptionTag::Read(const wchar_t* pszPath, std::wstring& strDescription) {
  icc::Description description;
  if (!ReadProfile(OpenProfile(pszPath, PROFILE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE),
                   &description))
    return FALSE;
  if (description.kind == icc::DescriptionKind::Localized) {
    strDescription = AsWide(icc::DescriptionText(description));
  } else {
    // The Unicode record when it is the same text as the ASCII record (all of it, where the
    // code page lost characters), else the ASCII record: a stale Unicode text written by a
    // program that changed only the ASCII record is not shown.
    std::u16string text;
    if (!description.unicode.empty() && ToAnsi(description.unicode) == description.ascii)
      text = description.unicode;
    else if (!ToUtf16(description.ascii.c_str(), &text))
      return FALSE;
    strDescription = AsWide(text);
  }
  m_description = std::move(description);
  return TRUE;
}

// Reads and parses the 'desc' tag of the profile just opened, and closes it.
BOOL CDescriptionTag::ReadProfile(HPROFILE hProfile, icc::Description* pDescription) {
  colour::ProfileHandle profile(hProfile);
  if (!profile.get()) return FALSE;

  DWORD size = 0;
  BOOL reference = FALSE;
  if (!colour::GetColorProfileElement(profile.get(), kDescTag, 0, &size, nullptr, &reference) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return FALSE;
  m_cbStored = size;

  // Never a null buffer, even for an empty tag: that would be the size query again.
  std::vector<BYTE> tag(size ? size : 1);
  if (!colour::GetColorProfileElement(profile.get(), kDescTag, 0, &size, tag.data(), &reference))
    return FALSE;

  // The description takes effect only with a successful Read, so that a caller who keeps
  // the previous profile after a failure keeps its kind of description too; m_bUnicode
  // follows the tag as soon as it has been read.
  if (!icc::ParseDescription(tag.data(), size, UserLanguage(), pDescription)) {
    SetLastError(ERROR_INVALID_PROFILE);
    return FALSE;
  }
  if (pDescription->kind == icc::DescriptionKind::Text) m_bUnicode = pDescription->has_unicode;

  tag.clear();
  tag.shrink_to_fit();
  return profile.Close();
}

BOOL CDescriptionTag::Build(const char* pszDescription) {
  std::u16string text;
  if (!ToUtf16(pszDescription, &text)) {
    // The caller does not write after a failed Build; leave nothing that could be.
    const DWORD error = GetLastError();
    delete[] m_pTag;
    m_pTag = nullptr;
    SetLastError(error);
    return FALSE;
  }
  return BuildText(text, pszDescription, false);
}

// Version 2: the ASCII record holds the ANSI form; when that loses characters, the Unicode
// record holds the whole text.  Localized records take the text as it is.
BOOL CDescriptionTag::Build(const wchar_t* pszDescription) {
  const std::u16string text = AsUtf16(pszDescription);
  if (m_description.kind == icc::DescriptionKind::Localized) return BuildText(text, std::string(), false);
  const std::string ansi = ToAnsi(text);
  return BuildText(text, ansi, !AnsiHoldsAll(ansi, text));
}

BOOL CDescriptionTag::BuildText(const std::u16string& text, const std::string& ansi,
                                bool bAnsiLost) {
  icc::Description built = m_description;
  built.has_unicode = m_bUnicode != FALSE;
  icc::SetDescriptionText(&built, text, ansi, bAnsiLost);
  std::vector<uint8_t> tag;
  if (!icc::BuildDescription(built, &tag)) throw std::bad_alloc();

  delete[] m_pTag;
  m_pTag = nullptr;
  m_pTag = new BYTE[tag.size()];
  memcpy(m_pTag, tag.data(), tag.size());
  m_cbTag = DWORD(tag.size());
  m_built = std::move(built);
  return TRUE;
}

// The profile's localized name ('dscm'), if it has one, with the new text in the record for
// the user's language (else en-US, else the first).  It only reads: Write calls it before
// changing anything, because a failed read, unlike a failed change, would not keep the
// closing handle from storing.  *pTag stays empty when there is nothing to update;
// *pcbStored receives the stored tag's size.
BOOL CDescriptionTag::PrepareLocalizedName(HPROFILE hProfile, std::vector<uint8_t>* pTag,
                                           DWORD* pcbStored) {
  pTag->clear();
  *pcbStored = 0;
  DWORD size = 0;
  BOOL reference = FALSE;
  if (colour::GetColorProfileElement(hProfile, kLocalizedNameTag, 0, &size, nullptr, &reference))
    return TRUE;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return TRUE;  // no such tag

  std::vector<BYTE> stored(size ? size : 1);  // never null: that would be the size query again
  if (!colour::GetColorProfileElement(hProfile, kLocalizedNameTag, 0, &size, stored.data(),
                                      &reference))
    return FALSE;
  // A name that is not localized records, or has none, is not ours to fix.
  if (icc::UpdateLocalizedName(stored.data(), size, UserLanguage(), m_built.unicode, pTag))
    *pcbStored = size;
  return TRUE;
}

BOOL CDescriptionTag::Write(const char* pszPath) {
  if (!m_pTag) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  return WriteProfile(OpenProfile(pszPath, PROFILE_READWRITE, 0));
}

BOOL CDescriptionTag::Write(const wchar_t* pszPath) {
  if (!m_pTag) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  return WriteProfile(OpenProfile(pszPath, PROFILE_READWRITE, 0));
}

// Stores the built tag in the profile just opened for writing, and closes it.
BOOL CDescriptionTag::WriteProfile(HPROFILE hProfile) {
  colour::ProfileHandle profile(hProfile);
  if (!profile.get()) return FALSE;

  PROFILEHEADER header;
  if (!colour::GetColorProfileHeader(profile.get(), &header)) return FALSE;
  std::vector<uint8_t> name;
  DWORD cbName = 0;
  if (m_built.kind == icc::DescriptionKind::Text &&
      !PrepareLocalizedName(profile.get(), &name, &cbName)) return FALSE;

  // From here on only changes, each of which keeps the handle from storing if it fails.
  if (!colour::SetColorProfileElementSize(profile.get(), kDescTag, m_cbTag)) return FALSE;
  DWORD count = m_cbTag;
  if (!colour::SetColorProfileElement(profile.get(), kDescTag, 0, &count, m_pTag)) return FALSE;

  long growth = 0;
  if (!name.empty()) {
    if (!colour::SetColorProfileElementSize(profile.get(), kLocalizedNameTag, DWORD(name.size())))
      return FALSE;
    count = DWORD(name.size());
    if (!colour::SetColorProfileElement(profile.get(), kLocalizedNameTag, 0, &count, name.data()))
      return FALSE;
    growth = long(icc::Pad4(uint32_t(name.size()))) - long(icc::Pad4(uint32_t(cbName)));
  }

  header.phSize = header.phSize + icc::Pad4(uint32_t(m_cbTag)) - icc::Pad4(uint32_t(m_cbStored)) +
                  DWORD(growth);
  if (!colour::SetColorProfileHeader(profile.get(), &header)) return FALSE;

  if (!profile.Close()) return FALSE;
  m_cbStored = m_cbTag;
  return TRUE;
}
