// Window classes by name and message dispatch between QWidgets.
//
// A library registers a class name with a factory (normally while it is being loaded); a program
// creates a window of that class under a QWidget parent with a control id and then drives it only
// through SendMessage. A window takes messages when it implements MessageWindow. A control reports
// to the parent it was created under by sending it WM_COMMAND with
//     wParam = MakeWParam(controlId, notificationCode), lParam = ToLParam(control)
// so a parent that wants notifications implements MessageWindow too:
//
//     class Main : public QWidget, public platform::MessageWindow {
//         platform::LRESULT WindowProc(platform::UINT msg, platform::WPARAM w,
//                                      platform::LPARAM l) override {
//             if (msg == platform::WM_COMMAND && platform::HighWord(w) == platform::EN_CHANGE
//                 && platform::LowWord(w) == 1506) { ... }
//             return 0;
//         }
//     };
//     QWidget* hex = platform::CreateWindowByClass("QUADREL10", this, 1506);
//     platform::SendMessage(hex, platform::QEM_FONTHEIGHT, 14, 0);
//
// Everything here runs on the GUI thread.
#pragma once

#include <string_view>

#include "platform/messages.h"
#include "platform/platform_export.h"

class QWidget;

namespace platform {

class PLATFORM_API MessageWindow {
  public:
    virtual ~MessageWindow();
    // Handles one message; messages it does not know return 0.
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
};

// Creates the window; the factory must set nothing but what its class needs. The registry records
// the control id on the window afterwards.
using WindowFactory = QWidget* (*)(QWidget* parent, int controlId);

// Registers a class. Returns false, changing nothing, when the name is taken or the factory is
// null.
PLATFORM_API bool RegisterWindowClass(std::string_view className, WindowFactory factory);
PLATFORM_API bool IsWindowClassRegistered(std::string_view className);

// Creates a window of a registered class as a child of parent (which may be null). Returns null
// for an unknown class name. The window is owned by its parent like any QWidget.
PLATFORM_API QWidget* CreateWindowByClass(std::string_view className, QWidget* parent,
                                          int controlId);

// Delivers a message synchronously and returns the receiver's result; 0 when window is null or
// takes no messages.
PLATFORM_API LRESULT SendMessage(QWidget* window, UINT msg, WPARAM wParam, LPARAM lParam);

// The control id given at creation (0 for windows not created by class).
PLATFORM_API int ControlId(const QWidget* window);
PLATFORM_API void SetControlId(QWidget* window, int controlId);

// Window "handles" as carried in lParam.
inline LPARAM ToLParam(const QWidget* window) {
    return reinterpret_cast<LPARAM>(window);
}
inline QWidget* WindowFromLParam(LPARAM value) {
    return reinterpret_cast<QWidget*>(value);
}

}  // namespace platform
