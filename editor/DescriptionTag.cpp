#include "DescriptionTag.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "colour_service.h"
#include "icc_profile.h"
#include "text_description.h"

namespace {

constexpr TAGTYPE kDescTag = 0x64657363;  // 'desc'
constexpr DWORD kScriptCodeField = 67;

PROFILE FileProfile(const char* path) {
  PROFILE profile = {};
  profile.dwType = PROFILE_FILENAME;
  profile.pProfileData = const_cast<char*>(path);
  profile.cbDataSize = DWORD(strlen(path) + 1);
  return profile;
}

// Closes the profile when the operation leaves, on any path.  A close on a failure path
// keeps the failing step's last-error value for the caller.
class OpenedProfile {
 public:
  explicit OpenedProfile(HPROFILE h) : handle_(h) {}
  ~OpenedProfile() {
    if (!handle_) return;
    const DWORD error = GetLastError();
    colour::CloseColorProfile(handle_);
    SetLastError(error);
  }
  OpenedProfile(const OpenedProfile&) = delete;
  OpenedProfile& operator=(const OpenedProfile&) = delete;

  HPROFILE get() const { return handle_; }
  BOOL Close() {
    const HPROFILE h = handle_;
    handle_ = nullptr;
    return colour::CloseColorProfile(h);
  }

 private:
  HPROFILE handle_;
};

}  // namespace

CDescriptionTag::~CDescriptionTag() { delete[] m_pTag; }

BOOL CDescriptionTag::Read(const char* pszPath, std::string& strDescription) {
  PROFILE record = FileProfile(pszPath);
  OpenedProfile profile(
      colour::OpenColorProfileA(&record, PROFILE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                OPEN_EXISTING));
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

  icc::TextDescription text;
  if (!icc::ParseTextDescription(tag.data(), size, &text)) {
    SetLastError(ERROR_INVALID_PROFILE);
    return FALSE;
  }
  strDescription = text.ascii;
  m_bUnicode = text.has_unicode;

  tag.clear();
  tag.shrink_to_fit();
  return profile.Close();
}

BOOL CDescriptionTag::Build(const char* pszDescription) {
  const std::size_t n = strlen(pszDescription) + 1;
  const std::size_t unicode = m_bUnicode ? 2 + 2 * n : 0;
  if (n > (0xFFFFFFFFu - 92) / 3) throw std::bad_alloc();
  const std::size_t size = 90 + n + unicode;

  delete[] m_pTag;
  m_pTag = nullptr;
  m_pTag = new BYTE[size]();

  BYTE* tag = m_pTag;
  memcpy(tag, "desc", 4);
  icc::StoreBE32(tag + 8, DWORD(n));
  memcpy(tag + 12, pszDescription, n);

  if (m_bUnicode) {
    icc::StoreBE32(tag + 16 + n, DWORD(n + 1));
    tag[20 + n] = 0xFE;
    tag[21 + n] = 0xFF;
    std::vector<WCHAR> wide(n);
    const int units = MultiByteToWideChar(CP_ACP, 0, pszDescription, -1, wide.data(), int(n));
    if (units == 0) {
      // The caller does not write after a failed Build; leave nothing that could be.
      const DWORD error = GetLastError();
      delete[] m_pTag;
      m_pTag = nullptr;
      SetLastError(error);
      return FALSE;
    }
    BYTE* out = tag + 22 + n;
    for (std::size_t i = 0; i < n; ++i) {
      out[2 * i] = BYTE(wide[i] >> 8);
      out[2 * i + 1] = BYTE(wide[i]);
    }
  }

  BYTE* script = tag + 20 + n + unicode;  // the 2-byte ScriptCode code stays 0
  const std::size_t count = n < kScriptCodeField ? n : kScriptCodeField;
  script[2] = BYTE(count);
  memcpy(script + 3, pszDescription, count);

  m_cbTag = DWORD(size);
  return TRUE;
}

BOOL CDescriptionTag::Write(const char* pszPath) {
  if (!m_pTag) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  PROFILE record = FileProfile(pszPath);
  OpenedProfile profile(
      colour::OpenColorProfileA(&record, PROFILE_READWRITE, 0, OPEN_EXISTING));
  if (!profile.get()) return FALSE;

  PROFILEHEADER header;
  if (!colour::GetColorProfileHeader(profile.get(), &header)) return FALSE;
  if (!colour::SetColorProfileElementSize(profile.get(), kDescTag, m_cbTag)) return FALSE;
  DWORD count = m_cbTag;
  if (!colour::SetColorProfileElement(profile.get(), kDescTag, 0, &count, m_pTag)) return FALSE;

  header.phSize = header.phSize + icc::Pad4(uint32_t(m_cbTag)) - icc::Pad4(uint32_t(m_cbStored));
  if (!colour::SetColorProfileHeader(profile.get(), &header)) return FALSE;

  if (!profile.Close()) return FALSE;
  m_cbStored = m_cbTag;
  return TRUE;
}
