#include "preview.h"

#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ansi_code_page.h"
#include "com_object.h"
#include "com_ptr.h"
#include "doctor.h"
#include "guids.h"
#include "icc_profile.h"
#include "module.h"
#include "picture.h"
#include "preview_sheet.h"
#include "solid_picture.h"
#include "resource.h"
#include "stream_file.h"
#include "user_language.h"
#include "wide_text.h"

namespace hueshell {
namespace {

const wchar_t kPaneClass[] = L"HueshellPreviewPane";
// Posted by the health check's thread once its report is ready.
constexpr UINT kHealthMessage = WM_APP + 1;
constexpr int kMargin = 8;  // at 96 DPI

// The pane's window class, registered on first use and taken back when the library leaves.
LONG g_class_registered = 0;

void UnregisterPaneClass(void*) { UnregisterClassW(kPaneClass, module::Instance()); }


int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// The profile doctor's report on a pane's stream (the profile ID read up to
// icc::kMaxWholeReadBytes) and the gamut's volume and coverages, made on a thread of its own
// so that the host's window never waits for a read of the whole profile or for the gamut's
// solid, and posted to the pane's window as kHealthMessage.
// The pane and the thread hold a reference each.  A check the pane abandons (Unload, its end,
// another preview) posts nothing, and its next read fails, so that its thread ends soon
// after, keeping the library loaded until then.  The stream goes to the thread marshalled:
// a host that runs the pane out of process hands over a proxy, which only its own apartment
// may call, and a stream of an apartment's own is called through it (the window's thread
// serves such calls while it waits for the thread).  The window's thread reads the stream
// only before the check starts, or after its thread has ended.
class HealthCheck {
 public:
  // The check of `stream`, for `window`; null when no thread could be made.
  static HealthCheck* Start(IStream* stream, HWND window) {
    auto* check = new (std::nothrow) HealthCheck(stream, window);
    if (!check) return nullptr;
    if (FAILED(CoMarshalInterThreadInterfaceInStream(IID_IStream, stream, &check->marshalled_))) {
      delete check;
      return nullptr;
    }
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&HealthCheck::Run), &check->library_)) {
      delete check;
      return nullptr;
    }
    check->thread_ = CreateThread(nullptr, 0, Run, check, 0, nullptr);
    if (!check->thread_) {
      FreeLibrary(check->library_);
      delete check;
      return nullptr;
    }
    return check;
  }

  void Release() {
    if (InterlockedDecrement(&refs_) == 0) delete this;
  }

  // On the window's thread: no post from now on, and the check's reads fail.
  void Abandon() {
    abandoned_ = true;
    Locked hold(lock_);
    window_ = nullptr;
  }
  // Until the thread has ended, when it reads `stream`.
  void WaitIfReading(IStream* stream) {
    if (stream != stream_identity_) return;
    DWORD index = 0;
    if (FAILED(CoWaitForMultipleHandles(COWAIT_DISPATCH_CALLS, INFINITE, 1, &thread_, &index)))
      WaitForSingleObject(thread_, INFINITE);  // a thread outside COM has no calls to serve
  }
  // The report is there once checked, the gamut's measure too once done; each posts.
  bool checked() const { return checked_; }
  bool done() const { return done_; }
  const icc::CheckReport& report() const { return report_; }  // once done
  const std::vector<gamut::SheetLine>& volume() const { return volume_; }  // once done
  gamut::Solid& solid() { return solid_; }  // once done

 private:
  HealthCheck(IStream* stream, HWND window) : stream_identity_(stream), window_(window) {
    InitializeCriticalSection(&lock_);
  }
  ~HealthCheck() {
    if (marshalled_) {  // never unmarshalled
      CoReleaseMarshalData(marshalled_);
      marshalled_->Release();
    }
    if (thread_) CloseHandle(thread_);
    DeleteCriticalSection(&lock_);
  }

  // The stream's reads, each refused once the check is abandoned.
  class Reads : public icc::SourceFile {
   public:
    Reads(icc::SourceFile& file, const std::atomic<bool>& abandoned) : file_(file), abandoned_(abandoned) {}
    uint64_t Size() const override { return file_.Size(); }
    icc::Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override {
      return abandoned_ ? icc::Result::Io(uint32_t(E_ABORT)) : file_.ReadAt(offset, buffer, count);
    }

   private:
    icc::SourceFile& file_;
    const std::atomic<bool>& abandoned_;
  };

  static DWORD WINAPI Run(void* param) {
    auto* self = static_cast<HealthCheck*>(param);
    const HMODULE library = self->library_;
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (com) {
      CoGetInterfaceAndReleaseStream(self->marshalled_, IID_IStream, self->stream_.put_void());
      self->marshalled_ = nullptr;  // released by the call, whatever it gave
    }
    if (self->stream_) self->Examine();
    self->stream_.reset();
    if (com) CoUninitialize();
    self->checked_ = true;
    self->done_ = true;
    self->Post();
    self->Release();
    FreeLibraryAndExitThread(library, 0);
  }

  void Examine() noexcept {
    try {
      std::unique_ptr<icc::SourceFile> file;
      if (!abandoned_ && colour::OpenStreamFile(stream_.get(), &file).ok()) {
        Reads reads(*file, abandoned_);
        doctor::CheckProfile(reads, &report_, icc::kMaxWholeReadBytes);
        checked_ = true;  // the verdict shows while the gamut is measured
        Post();
        std::unique_ptr<icc::Profile> profile;
        if (!abandoned_ && icc::Profile::Open(reads, &profile).ok()) {
          gamut::PreviewSheet measured;
          gamut::MeasurePreviewSheet(*profile, &measured, gamut::Limits(), &solid_, &abandoned_);
          volume_ = std::move(measured.volume);
        }
      }
    } catch (...) {
      // Nothing leaves the thread; the report holds what was found.
    }
  }

  void Post() {
    Locked hold(lock_);
    if (window_) PostMessageW(window_, kHealthMessage, 0, 0);
  }

  LONG refs_ = 2;  // the pane's and the thread's
  IStream* marshalled_ = nullptr;    // the stream on its way to the thread
  colour::ComPtr<IStream> stream_;  // the thread's, until it is done
  const IStream* const stream_identity_;
  HMODULE library_ = nullptr;
  HANDLE thread_ = nullptr;
  std::atomic<bool> abandoned_{false};
  std::atomic<bool> checked_{false};
  std::atomic<bool> done_{false};
  icc::CheckReport report_;
  std::vector<gamut::SheetLine> volume_;  // none for a file the container refuses
  gamut::Solid solid_;
  CRITICAL_SECTION lock_;  // over window_
  HWND window_;
};

class CICCPreview final : public IPreviewHandler,
                          public IInitializeWithStream,
                          public IObjectWithSite,
                          public IOleWindow,
                          public IPreviewHandlerVisuals,
                          public ObjectRoot {
 public:
  explicit CICCPreview(IUnknown* outer) : ObjectRoot(outer) {}

  HUESHELL_FORWARD_IUNKNOWN

  // IInitializeWithStream: the stream is held until Unload.
  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD) override {
    if (!stream) return E_INVALIDARG;
    if (stream_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    stream_ = colour::ComPtr<IStream>(stream);
    return S_OK;
  }

  // IObjectWithSite: the frame, when the site has one, receives the keys the pane leaves.
  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override {
    frame_.reset();
    site_ = colour::ComPtr<IUnknown>(site);
    if (site_) site_.As(IID_IPreviewHandlerFrame, &frame_);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return site_ ? site_->QueryInterface(riid, ppv) : E_FAIL;
  }

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (!window) return E_INVALIDARG;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IPreviewHandler
  HRESULT STDMETHODCALLTYPE SetWindow(HWND parent, const RECT* rect) override {
    if (!parent || !rect) return E_INVALIDARG;
    parent_ = parent;
    rect_ = *rect;
    if (window_) {
      SetParent(window_, parent_);
      Place();
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetRect(const RECT* rect) override {
    if (!rect) return E_INVALIDARG;
    rect_ = *rect;
    if (window_) Place();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE DoPreview() override {
    if (!stream_ || !parent_) return E_UNEXPECTED;
    return Guarded([&] { return Show(); });
  }

  HRESULT STDMETHODCALLTYPE Unload() override {
    Clear();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetFocus() override {
    if (!text_) return S_FALSE;
    ::SetFocus(text_);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE QueryFocus(HWND* window) override {
    if (!window) return E_INVALIDARG;
    *window = GetFocus();
    return *window ? S_OK : E_FAIL;
  }

  // Keys that the text uses while it has the focus stay with it (Ctrl+A selects all of it);
  // every other key goes to the host's frame, which may have an accelerator for it.
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* msg) override {
    if (!msg) return E_INVALIDARG;
    if (text_ && msg->hwnd == text_ && msg->message == WM_KEYDOWN) {
      const bool control = GetKeyState(VK_CONTROL) < 0;
      if (control && msg->wParam == 'A') {
        SendMessageW(text_, EM_SETSEL, 0, -1);
        return S_OK;
      }
      if (TextKeeps(msg->wParam, control)) return S_FALSE;
    }
    return frame_ ? frame_->TranslateAccelerator(msg) : S_FALSE;
  }

  // IPreviewHandlerVisuals: the host's colours and font (a dark theme, for instance).
  HRESULT STDMETHODCALLTYPE SetBackgroundColor(COLORREF colour) override {
    background_ = colour;
    has_background_ = true;
    return Restyle();
  }
  HRESULT STDMETHODCALLTYPE SetFont(const LOGFONTW* font) override {
    if (!font) return E_INVALIDARG;
    font_ = *font;
    has_font_ = true;
    return Restyle();
  }
  HRESULT STDMETHODCALLTYPE SetTextColor(COLORREF colour) override {
    text_colour_ = colour;
    has_text_colour_ = true;
    return Restyle();
  }

 protected:
  const InterfaceEntry* Interfaces() const override {
    static const InterfaceEntry rows[] = {
        {&IID_IPreviewHandler, InterfaceOffset<CICCPreview, IPreviewHandler>()},
        {&IID_IInitializeWithStream, InterfaceOffset<CICCPreview, IInitializeWithStream>()},
        {&IID_IObjectWithSite, InterfaceOffset<CICCPreview, IObjectWithSite>()},
        {&IID_IOleWindow, InterfaceOffset<CICCPreview, IOleWindow>()},
        {&IID_IPreviewHandlerVisuals, InterfaceOffset<CICCPreview, IPreviewHandlerVisuals>()},
        {nullptr, 0},
    };
    return rows;
  }

 private:
  ~CICCPreview() override {
    Clear();
    if (check_) check_->Release();
  }

  static bool TextKeeps(WPARAM key, bool control) {
    switch (key) {
      case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN:
      case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT:
        return true;
      case 'C': case VK_INSERT:
        return control;
      default:
        return false;
    }
  }

  // Everything the preview holds: the window, the stream, what was drawn; a health check
  // still running is abandoned.
  void Clear() {
    if (check_) check_->Abandon();
    if (window_) DestroyWindow(window_);
    window_ = text_ = nullptr;
    stream_.reset();
    sheet_ = gamut::PreviewSheet();
    std::vector<uint32_t>().swap(picture_);
    picture_size_ = 0;
    ForgetSolid();
    DropStyle();
  }

  void DropStyle() {
    if (font_handle_) DeleteObject(font_handle_);
    if (brush_) DeleteObject(brush_);
    font_handle_ = nullptr;
    brush_ = nullptr;
  }

  HRESULT Show() {
    // The stream has one reader at a time: an earlier check of it ends at its next read.
    if (check_) {
      check_->Abandon();
      check_->WaitIfReading(stream_.get());
      check_->Release();
      check_ = nullptr;
    }
    std::unique_ptr<icc::Profile> profile;
    const icc::Result r = colour::OpenStreamProfile(stream_.get(), &profile);
    if (r.ok()) {
      icc::Language language;
      colour::UserLanguage(language.language, language.country);
      gamut::BuildPreviewSheet(*profile, language, colour::AnsiCodePage(), &sheet_);
      sheet_.volume = {{u"Gamut volume", u"measuring..."}};  // by the check's thread
    } else {
      gamut::RefusedPreviewSheet(r, &sheet_);
    }
    picture_size_ = 0;
    ForgetSolid();
    if (!window_) {
      if (!RegisterPaneClass()) return HRESULT_FROM_WIN32(GetLastError());
      window_ = CreateWindowExW(0, kPaneClass, L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, parent_,
                                nullptr, module::Instance(), this);
      if (!window_) return HRESULT_FROM_WIN32(GetLastError());
      text_ = CreateWindowExW(0, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                  ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL,
                              0, 0, 0, 0, window_, nullptr, module::Instance(), nullptr);
      if (!text_) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        DestroyWindow(window_);
        window_ = nullptr;
        return hr;
      }
    }
    Restyle();
    ShowText();
    Place();
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    check_ = HealthCheck::Start(stream_.get(), window_);
    if (!check_) return E_OUTOFMEMORY;  // no thread: the preview fails as for any lack of memory
    return S_OK;
  }

  static bool RegisterPaneClass() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(module::Instance(), kPaneClass, &wc)) return true;
    wc.lpfnWndProc = PaneProc;
    wc.hInstance = module::Instance();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kPaneClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    if (InterlockedExchange(&g_class_registered, 1) == 0)
      module::AddShutdownCallback(UnregisterPaneClass, nullptr);
    return true;
  }

  // The font, the text colour and the brush of the background, from the host's visuals or
  // the system's.
  HRESULT Restyle() {
    if (!window_) return S_OK;
    DropStyle();
    LOGFONTW font = font_;
    if (!has_font_) {
      NONCLIENTMETRICSW metrics = {};
      metrics.cbSize = sizeof metrics;
      if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        font = metrics.lfMessageFont;
      else
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    }
    font_handle_ = CreateFontIndirectW(&font);
    brush_ = CreateSolidBrush(Background());
    SendMessageW(text_, WM_SETFONT, WPARAM(font_handle_), FALSE);
    picture_size_ = 0;
    Layout();
    InvalidateRect(window_, nullptr, TRUE);
    InvalidateRect(text_, nullptr, TRUE);
    return S_OK;
  }

  COLORREF Background() const { return has_background_ ? background_ : GetSysColor(COLOR_WINDOW); }
  COLORREF Foreground() const { return has_text_colour_ ? text_colour_ : GetSysColor(COLOR_WINDOWTEXT); }

  void ShowText() {
    const std::u16string text = gamut::SheetText(sheet_);
    SetWindowTextW(text_, colour::WideOf(text));
    SetTabStops(text);
  }

  // Tab stops after the longest label and the widest tag type and size, in the units the
  // edit control takes: a quarter of the font's average character width, measured as the
  // system measures it, over the letters A to Z and a to z.
  void SetTabStops(const std::u16string& text) {
    HDC dc = GetDC(text_);
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, font_handle_ ? font_handle_ : GetStockObject(DEFAULT_GUI_FONT));
    static const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE letters = {};
    GetTextExtentPoint32W(dc, kLetters, 52, &letters);
    const int unit = std::max<int>(1, (letters.cx / 26 + 1) / 2);
    int column[3] = {0, 0, 0};
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find(u"\r\n", start);
      if (end == std::u16string::npos) end = text.size();
      std::size_t cell = start;
      for (int i = 0; i < 3 && cell < end; ++i) {
        std::size_t tab = text.find(u'\t', cell);
        if (tab == std::u16string::npos || tab >= end) break;
        SIZE extent = {};
        GetTextExtentPoint32W(dc, colour::WideOf(text) + cell, int(tab - cell), &extent);
        // A label wider than 40 characters does not push every value aside.
        if (i > 0 || extent.cx < 40 * unit) column[i] = std::max<int>(column[i], extent.cx);
        cell = tab + 1;
      }
      start = end + 2;
    }
    SelectObject(dc, old);
    ReleaseDC(text_, dc);
    const int gap = 2 * unit;
    INT stops[3];
    int x = 0;
    for (int i = 0; i < 3; ++i) {
      x += column[i] + gap;
      stops[i] = MulDiv(x, 4, unit);
    }
    SendMessageW(text_, EM_SETTABSTOPS, 3, LPARAM(stops));
  }

  void Place() {
    SetWindowPos(window_, nullptr, rect_.left, rect_.top, rect_.right - rect_.left,
                 rect_.bottom - rect_.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
  }

  // A wide pane puts the diagram beside the text, a tall one above it; the diagram takes
  // at most half the pane.  A pane more than twice as wide as tall shows the gamut's solid
  // in CIELAB beside the diagram, once it is measured, the two taking at most two thirds.
  void Layout() {
    if (!window_) return;
    RECT client;
    GetClientRect(window_, &client);
    const int w = client.right, h = client.bottom;
    const int m = MulDiv(kMargin, SystemDpi(), 96);
    int side = 0;
    bool solid = false;
    RECT text = {m, m, w - m, h - m};
    if (sheet_.has_picture) {
      const bool wide = w >= h * 5 / 4;
      solid = wide && w >= h * 2 && !solid_.empty();
      side = !wide ? std::min(w - 2 * m, h / 2 - m)
             : solid ? std::min(h - 2 * m, w / 3 - m)
                     : std::min(h - 2 * m, w / 2 - m);
      side = std::min(side, gamut::kMaxSize);
      if (side < gamut::kMinSize) side = 0, solid = false;
      if (side && wide) {
        picture_at_ = {m, m};
        text.left = (solid ? 3 : 2) * m + (solid ? 2 : 1) * side;
      } else if (side) {
        picture_at_ = {(w - side) / 2, m};
        text.top = 2 * m + side;
      }
    }
    if (side != picture_size_ || solid != solid_drawn_) Draw(side, solid);
    MoveWindow(text_, text.left, text.top, std::max<int>(0, int(text.right - text.left)),
               std::max<int>(0, int(text.bottom - text.top)), TRUE);
  }

  // The gamut with sRGB's triangle dashed and, with `solid`, its solid inside sRGB's
  // wireframe, laid over the background.
  void Draw(int side, bool solid) {
    std::vector<uint32_t>().swap(picture_);
    std::vector<uint32_t>().swap(solid_picture_);
    picture_size_ = 0;
    solid_drawn_ = solid;
    InvalidateRect(window_, nullptr, TRUE);
    if (!side) return;
    gamut::Gamut srgb;
    srgb.kind = gamut::Kind::Matrix;
    srgb.outline = gamut::SrgbTriangle();
    std::vector<uint32_t> argb;
    if (!gamut::Render(sheet_.gamut, &srgb, side, &argb)) return;
    OverBackground(&argb);
    picture_.swap(argb);
    picture_size_ = side;
    if (solid &&
        gamut::RenderSolid(solid_, &gamut::ReferenceSolid(gamut::Reference::Srgb), side, &argb)) {
      OverBackground(&argb);
      solid_picture_.swap(argb);
    }
  }

  void ForgetSolid() {
    solid_ = gamut::Solid();
    std::vector<uint32_t>().swap(solid_picture_);
    solid_drawn_ = false;
  }

  void OverBackground(std::vector<uint32_t>* argb) {
    gamut::Premultiply(argb);
    const COLORREF bg = Background();
    const uint32_t back[3] = {GetRValue(bg), GetGValue(bg), GetBValue(bg)};
    for (uint32_t& p : *argb) {
      const uint32_t a = p >> 24;
      uint32_t out = 0xFF000000u;
      for (int c = 0; c < 3; ++c)
        out |= (((p >> (16 - 8 * c)) & 0xFF) + (back[c] * (255 - a) + 127) / 255) << (16 - 8 * c);
      p = out;
    }
  }

  void Paint(HDC dc) {
    RECT client;
    GetClientRect(window_, &client);
    FillRect(dc, &client, brush_ ? brush_ : HBRUSH(GetStockObject(WHITE_BRUSH)));
    if (!picture_size_) return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture_size_;
    info.bmiHeader.biHeight = -picture_size_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, picture_at_.x, picture_at_.y, DWORD(picture_size_), DWORD(picture_size_), 0,
                      0, 0, UINT(picture_size_), picture_.data(), &info, DIB_RGB_COLORS);
    if (solid_picture_.empty()) return;
    const int beside = picture_at_.x + picture_size_ + MulDiv(kMargin, SystemDpi(), 96);
    SetDIBitsToDevice(dc, beside, picture_at_.y, DWORD(picture_size_), DWORD(picture_size_), 0, 0, 0,
                      UINT(picture_size_), solid_picture_.data(), &info, DIB_RGB_COLORS);
  }

  // The health check's report once it is checked, and the gamut's measure once it is done:
  // a message of an earlier check finds the current one still running.
  void Finish() {
    if (!check_) return;
    const bool done = check_->done();
    if (!check_->checked() || (sheet_.finished && !done)) return;
    if (!sheet_.finished) gamut::FinishPreviewSheet(check_->report(), &sheet_);
    if (done) {
      sheet_.volume = check_->volume();
      solid_ = std::move(check_->solid());
      check_->Release();
      check_ = nullptr;
    }
    // Keep the reader's place in the text.
    const LRESULT first = SendMessageW(text_, EM_GETFIRSTVISIBLELINE, 0, 0);
    DWORD from = 0, to = 0;
    SendMessageW(text_, EM_GETSEL, WPARAM(&from), LPARAM(&to));
    ShowText();
    Layout();  // a wide pane now has room for the solid
    SendMessageW(text_, EM_SETSEL, from, to);
    SendMessageW(text_, EM_LINESCROLL, 0, first);
  }

  LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
      case WM_SIZE:
        Layout();
        return 0;
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        if (HDC dc = BeginPaint(window, &ps)) {
          Paint(dc);
          EndPaint(window, &ps);
        }
        return 0;
      }
      case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wparam));
        return 0;
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        ::SetTextColor(dc, Foreground());
        SetBkColor(dc, Background());
        return reinterpret_cast<LRESULT>(brush_ ? brush_ : GetStockObject(WHITE_BRUSH));
      }
      case kHealthMessage:
        Finish();
        return 0;
      case WM_DESTROY:  // also when the host destroys its own window first
        if (check_) check_->Abandon();
        return 0;
      default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
  }

  static LRESULT CALLBACK PaneProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CICCPreview*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!self || message == WM_NCCREATE || message == WM_NCDESTROY)
      return DefWindowProcW(window, message, wparam, lparam);
    try {
      return self->Handle(window, message, wparam, lparam);
    } catch (...) {
      return DefWindowProcW(window, message, wparam, lparam);
    }
  }

  colour::ComPtr<IStream> stream_;
  colour::ComPtr<IUnknown> site_;
  colour::ComPtr<IPreviewHandlerFrame> frame_;
  HWND parent_ = nullptr;
  RECT rect_ = {};
  HWND window_ = nullptr;
  HWND text_ = nullptr;
  HealthCheck* check_ = nullptr;  // the current or last abandoned one
  gamut::PreviewSheet sheet_;
  std::vector<uint32_t> picture_;  // 0xFFRRGGBB, laid over the background
  int picture_size_ = 0;
  POINT picture_at_ = {};
  gamut::Solid solid_;                   // once the check has measured it
  std::vector<uint32_t> solid_picture_;  // beside the diagram, in a wide pane
  bool solid_drawn_ = false;             // whether the layout asked for it
  bool has_background_ = false, has_text_colour_ = false, has_font_ = false;
  COLORREF background_ = 0, text_colour_ = 0;
  LOGFONTW font_ = {};
  HFONT font_handle_ = nullptr;
  HBRUSH brush_ = nullptr;
};

}  // namespace

UINT PreviewScriptId() {
#if defined(_WIN64)
  return IDR_ICCPREVIEW;
#else
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? IDR_ICCPREVIEW32 : IDR_ICCPREVIEW;
#endif
}

HRESULT CreateICCPreview(IUnknown* outer, REFIID riid, void** ppv) {
  return ObjectRoot::Create<CICCPreview>(outer, riid, ppv);
}

}  // namespace hueshell
