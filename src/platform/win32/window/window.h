// The program's window as Windows shows it: the top-level frame and one
// child window per control, kept in step with the controls' properties the
// moment the logic changes them.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>

#include "platform/platform.h"
#include "platform/win32/window/window_fonts.h"
#include "platform/win32/window/window_handles.h"
#include "ui/control.h"
#include "ui/form_events.h"

namespace car {

class Win32Window final : public View {
public:
    // Creates the window and all its controls, hidden.
    Win32Window(HINSTANCE instance, Platform& platform);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // The form whose events the window's buttons, timer and close box raise.
    void attach(FormEvents& form);
    // Shows the window with the keyboard focus on the compact button.
    void show();
    HWND hwnd() const { return window_; }

    void changed(ControlId id, Property property, const ControlState& state) override;

private:
    static constexpr std::size_t kControlCount = static_cast<std::size_t>(ControlId::Label3) + 1;
    static constexpr UINT_PTR kSpinTimerId = 1;

    struct Child {
        HWND window = nullptr;
        ControlState state;
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // window.cpp: building and laying out.
    void createFrame();
    void createChildren();
    void applyDpi(UINT dpi);
    void applyDpiResources();
    // A control's place and size in pixels at the window's DPI; for a line,
    // its two end points.
    struct PixelPlace {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    PixelPlace pixelPlace(const ControlState& state) const;
    void resizeFrame(const RECT* suggested);
    void place(ControlId id);
    void fitCaption(ControlId id);
    void loadPictures();

    // window_changes.cpp: properties to the real window.
    void applyVisible(ControlId id);
    void applyProgress(ControlId id, Property property);
    void applyTimer();

    // window_messages.cpp: events and keyboard focus.
    void onCommand(WPARAM wParam, LPARAM lParam);
    void onEscape();
    void onClose();
    void onSystemColours();
    LRESULT onControlColour(HDC dc, HWND control);
    void runEvent(FormEvent event);
    void restoreFocus();
    void focusFirstButtonIfNone();
    HWND focusableButton() const;
    bool isButton(HWND window) const;

    Child& child(ControlId id) { return children_[static_cast<std::size_t>(id)]; }
    const Child& child(ControlId id) const { return children_[static_cast<std::size_t>(id)]; }
    // The control a child window shows; Form for anything else.
    ControlId controlOf(HWND window) const;

    HINSTANCE instance_;
    Platform& platform_;
    FormEvents* form_ = nullptr;
    UINT dpi_ = 96;
    win32::FontSizes fonts_;
    win32::UniqueIcon bigIcon_;
    win32::UniqueIcon smallIcon_;
    std::array<win32::UniqueBitmap, kControlCount> bitmaps_;
    std::array<Child, kControlCount> children_;
    HWND focusBeforeDeactivation_ = nullptr;
    bool timerRunning_ = false;
    // Destroyed first, in the destructor, while the objects above still live.
    HWND window_ = nullptr;
};

}  // namespace car
