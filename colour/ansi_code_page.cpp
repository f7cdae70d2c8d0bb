#include "ansi_code_page.h"

#include <windows.h>

#include "wide_text.h"

namespace colour {
namespace {

class Ansi final : public icc::CodePage {
 public:
  std::u16string Decode(const std::string& bytes) const override {
    if (bytes.empty()) return std::u16string();
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    std::wstring wide(std::size_t(units > 0 ? units : 0), L'\0');
    if (units > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), &wide[0], units);
    return Utf16(wide);
  }

  std::string Encode(const std::u16string& text) const override {
    if (text.empty()) return std::string();
    const std::wstring wide = Wide(text);
    // UTF-8 as the ANSI code page takes no flags (and loses nothing).
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int bytes = WideCharToMultiByte(CP_ACP, flags, wide.data(), int(wide.size()), nullptr,
                                          0, nullptr, nullptr);
    std::string ansi(std::size_t(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
      WideCharToMultiByte(CP_ACP, flags, wide.data(), int(wide.size()), &ansi[0], bytes, nullptr,
                          nullptr);
    return ansi;
  }
};

// At namespace scope: a function-local static would be guarded through the thread library,
// whose records outlive a library that is loaded and unloaded (two handles per load).
const Ansi g_ansi;

}  // namespace

const icc::CodePage& AnsiCodePage() { return g_ansi; }

}  // namespace colour
