#include "app/win32/Win32Controls.h"

#include <commctrl.h>

#include "app/win32/Win32Application.h"
#include "platform/win32/SystemError.h"

namespace velastrom::win32 {

namespace {

constexpr const char* PanelClass = "VelastromPanel";
constexpr const char* ImageClass = "VelastromImage";
constexpr const char* LabelClass = "VelastromLabel";

template <class T>
T* Self(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<T*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void FillWith(HDC dc, const RECT& area, TColor color)
{
    HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(color));
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

HWND CreateChild(const char* className, HWND parent, void* self)
{
    SetLastError(ERROR_SUCCESS);
    HWND window = CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0,
                                  0, parent, nullptr, GetModuleHandleA(nullptr), self);
    if (window == nullptr)
        ThrowLastError("Control window");
    return window;
}

void Register(HINSTANCE instance, const char* name, WNDPROC procedure, LPCSTR cursor)
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, cursor);
    windowClass.lpszClassName = name;
    if (RegisterClassExA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        ThrowLastError("Window class");
}

}  // namespace

void RegisterControlClasses(HINSTANCE instance)
{
    static bool registered = false;
    if (registered)
        return;
    INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&common);
    Register(instance, PanelClass, &Win32Panel::WindowProc, IDC_ARROW);
    Register(instance, ImageClass, &Win32Image::WindowProc, IDC_HAND);
    Register(instance, LabelClass, &Win32Label::WindowProc, IDC_ARROW);
    registered = true;
}

// --- panel ------------------------------------------------------------------------------

Win32Panel::Win32Panel(Win32Application& app, HWND parentWindow, Win32Panel* parent, TColor color)
    : app_(app), parent_(parent), color_(color), parentColor_(parent != nullptr)
{
    RegisterControlClasses(app_.Instance());
    window_ = CreateChild(PanelClass, parentWindow, this);
}

Win32Panel::~Win32Panel()
{
    if (window_ != nullptr && IsWindow(window_)) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void Win32Panel::SetColor(TColor color)
{
    color_ = color;
    parentColor_ = false;
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

TColor Win32Panel::Color() const { return parentColor_ && parent_ ? parent_->Color() : color_; }

LRESULT CALLBACK Win32Panel::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Win32Panel* self = Self<Win32Panel>(window, message, lParam);
    if (self != nullptr) {
        switch (message) {
        case WM_ERASEBKGND: {
            RECT area;
            GetClientRect(window, &area);
            FillWith(reinterpret_cast<HDC>(wParam), area, self->Color());
            return 1;
        }
        case WM_NCDESTROY:
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            self->window_ = nullptr;
            break;
        default:
            break;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// --- image ------------------------------------------------------------------------------

Win32Image::Win32Image(Win32Application& app, Win32Panel& parent, const char* bitmapName, std::string hint,
                       std::function<void()> onClick)
    : app_(app), parent_(parent), hint_(std::move(hint)), onClick_(std::move(onClick))
{
    RegisterControlClasses(app_.Instance());
    bitmap_ = static_cast<HBITMAP>(LoadImageA(app_.Instance(), bitmapName, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (bitmap_ != nullptr) {
        BITMAP info{};
        GetObjectA(bitmap_, sizeof info, &info);
        size_ = {info.bmWidth, info.bmHeight};
        HDC memory = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(memory, bitmap_);
        transparent_ = GetPixel(memory, 0, size_.cy - 1);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    window_ = CreateChild(ImageClass, parent_.Handle(), this);

    tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               GetAncestor(parent_.Handle(), GA_ROOT), nullptr, app_.Instance(), nullptr);
    if (tooltip_ != nullptr) {
        TTTOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = parent_.Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(window_);
        tool.lpszText = hint_.data();
        SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

Win32Image::~Win32Image()
{
    if (tooltip_ != nullptr)
        DestroyWindow(tooltip_);
    if (window_ != nullptr && IsWindow(window_)) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (bitmap_ != nullptr)
        DeleteObject(bitmap_);
}

void Win32Image::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    RECT area;
    GetClientRect(window_, &area);
    FillWith(dc, area, parent_.Color());
    if (bitmap_ != nullptr) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, bitmap_);
        const int x = (area.right - size_.cx) / 2;
        const int y = (area.bottom - size_.cy) / 2;
        TransparentBlt(dc, x, y, size_.cx, size_.cy, memory, 0, 0, size_.cx, size_.cy, transparent_);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    EndPaint(window_, &paint);
}

LRESULT CALLBACK Win32Image::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Win32Image* self = Self<Win32Image>(window, message, lParam);
    if (self != nullptr) {
        switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            self->Paint();
            return 0;
        case WM_LBUTTONDOWN:
            self->pressed_ = true;
            SetCapture(window);
            return 0;
        case WM_CAPTURECHANGED:
            self->pressed_ = false;
            return 0;
        case WM_LBUTTONUP: {
            const bool wasPressed = self->pressed_;
            self->pressed_ = false;
            if (GetCapture() == window)
                ReleaseCapture();
            RECT area;
            GetClientRect(window, &area);
            const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (wasPressed && PtInRect(&area, point) && self->onClick_) {
                const auto click = self->onClick_;
                click();
            }
            return 0;
        }
        case WM_NCDESTROY:
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            self->window_ = nullptr;
            break;
        default:
            break;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// --- label ------------------------------------------------------------------------------

Win32Label::Win32Label(Win32Application& app, Win32Panel& parent)
    : app_(app), parent_(parent), fontColor_(static_cast<TColor>(GetSysColor(COLOR_WINDOWTEXT)))
{
    RegisterControlClasses(app_.Instance());
    // "MS Sans Serif", bold, character height 16 pixels.
    font_ = CreateFontA(-16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
    window_ = CreateChild(LabelClass, parent_.Handle(), this);
    SetWindowTextA(window_, caption_.c_str());
}

Win32Label::~Win32Label()
{
    if (window_ != nullptr && IsWindow(window_)) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (font_ != nullptr)
        DeleteObject(font_);
}

void Win32Label::SetCaption(const std::string& caption)
{
    caption_ = caption;
    SetWindowTextA(window_, caption_.c_str());
    InvalidateRect(window_, nullptr, TRUE);
}

void Win32Label::SetFontColor(TColor color)
{
    fontColor_ = color;
    InvalidateRect(window_, nullptr, TRUE);
}

RECT Win32Label::TextRect(HDC dc) const
{
    RECT area;
    GetClientRect(window_, &area);
    HGDIOBJ old = SelectObject(dc, font_);
    RECT measured = area;
    DrawTextA(dc, caption_.c_str(), static_cast<int>(caption_.size()), &measured,
              DT_CALCRECT | DT_WORDBREAK | DT_CENTER | DT_NOPREFIX);
    SelectObject(dc, old);
    const int textHeight = measured.bottom - measured.top;
    RECT text = area;
    text.top = area.top + (area.bottom - area.top - textHeight) / 2;
    text.bottom = text.top + textHeight;
    return text;
}

void Win32Label::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    RECT area;
    GetClientRect(window_, &area);
    FillWith(dc, area, parent_.Color());
    RECT text = TextRect(dc);
    HGDIOBJ old = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, static_cast<COLORREF>(fontColor_));
    DrawTextA(dc, caption_.c_str(), static_cast<int>(caption_.size()), &text, DT_WORDBREAK | DT_CENTER | DT_NOPREFIX);
    SelectObject(dc, old);
    EndPaint(window_, &paint);
}

LRESULT CALLBACK Win32Label::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Win32Label* self = Self<Win32Label>(window, message, lParam);
    if (self != nullptr) {
        switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            self->Paint();
            return 0;
        case WM_SIZE:
            InvalidateRect(window, nullptr, TRUE);
            break;
        case WM_NCDESTROY:
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            self->window_ = nullptr;
            break;
        default:
            break;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace velastrom::win32
