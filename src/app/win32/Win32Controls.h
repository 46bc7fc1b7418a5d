// The controls of the dashboard's command bar as plain child windows: a
// coloured panel, an image with a transparent colour, a hint and a hand
// cursor, and a label that draws its text centred and word-wrapped.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/Framework.h"

namespace velastrom::win32 {

class Win32Application;

// Registers the window classes of the controls once per process.
void RegisterControlClasses(HINSTANCE instance);

class Win32Panel final : public IPanel {
public:
    // parent null: the panel has its own colour; otherwise it takes the
    // parent's colour until a colour of its own is set.
    Win32Panel(Win32Application& app, HWND parentWindow, Win32Panel* parent, TColor color);
    ~Win32Panel() override;
    Win32Panel(const Win32Panel&) = delete;
    Win32Panel& operator=(const Win32Panel&) = delete;

    void SetColor(TColor color) override;
    TColor Color() const override;
    HWND Handle() const { return window_; }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    Win32Application& app_;
    Win32Panel* parent_;
    HWND window_ = nullptr;
    TColor color_;
    bool parentColor_;
};

class Win32Image final : public IImage {
public:
    // bitmapName: the bitmap resource of the executable (none when missing).
    Win32Image(Win32Application& app, Win32Panel& parent, const char* bitmapName, std::string hint,
               std::function<void()> onClick);
    ~Win32Image() override;
    Win32Image(const Win32Image&) = delete;
    Win32Image& operator=(const Win32Image&) = delete;

    std::string Hint() const override { return hint_; }
    HWND Handle() const { return window_; }
    HWND Tooltip() const { return tooltip_; }
    bool HasPicture() const { return bitmap_ != nullptr; }
    // The colour drawn as transparent: the picture's bottom-left pixel.
    COLORREF TransparentColor() const { return transparent_; }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void Paint();
    Win32Application& app_;
    Win32Panel& parent_;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    SIZE size_{0, 0};
    COLORREF transparent_ = 0;
    std::string hint_;
    std::function<void()> onClick_;
    bool pressed_ = false;
};

class Win32Label final : public ILabel {
public:
    Win32Label(Win32Application& app, Win32Panel& parent);
    ~Win32Label() override;
    Win32Label(const Win32Label&) = delete;
    Win32Label& operator=(const Win32Label&) = delete;

    void SetCaption(const std::string& caption) override;
    std::string Caption() const override { return caption_; }
    void SetFontColor(TColor color) override;
    TColor FontColor() const override { return fontColor_; }
    HWND Handle() const { return window_; }
    HFONT Font() const { return font_; }
    // Where the text is drawn inside the label's client area (centred both ways).
    RECT TextRect(HDC dc) const;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void Paint();
    Win32Application& app_;
    Win32Panel& parent_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    std::string caption_ = "cxLabelInfo";
    TColor fontColor_;
};

}  // namespace velastrom::win32
