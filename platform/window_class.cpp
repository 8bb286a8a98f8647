#include "platform/window_class.h"

#include <QVariant>
#include <QWidget>
#include <map>
#include <string>

namespace platform {

namespace {

constexpr char kControlIdProperty[] = "platformControlId";

std::map<std::string, WindowFactory, std::less<>>& Registry() {
    static std::map<std::string, WindowFactory, std::less<>> classes;
    return classes;
}

}  // namespace

MessageWindow::~MessageWindow() = default;

bool RegisterWindowClass(std::string_view className, WindowFactory factory) {
    if (factory == nullptr || className.empty()) return false;
    auto& classes = Registry();
    if (classes.find(className) != classes.end()) return false;
    classes.emplace(std::string(className), factory);
    return true;
}

bool IsWindowClassRegistered(std::string_view className) {
    const auto& classes = Registry();
    return classes.find(className) != classes.end();
}

QWidget* CreateWindowByClass(std::string_view className, QWidget* parent, int controlId) {
    const auto& classes = Registry();
    auto it = classes.find(className);
    if (it == classes.end()) return nullptr;
    QWidget* window = it->second(parent, controlId);
    if (window != nullptr) SetControlId(window, controlId);
    return window;
}

LRESULT SendMessage(QWidget* window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* receiver = dynamic_cast<MessageWindow*>(window);
    if (receiver == nullptr) return 0;
    return receiver->WindowProc(msg, wParam, lParam);
}

int ControlId(const QWidget* window) {
    if (window == nullptr) return 0;
    return window->property(kControlIdProperty).toInt();
}

void SetControlId(QWidget* window, int controlId) {
    if (window != nullptr) window->setProperty(kControlIdProperty, controlId);
}

}  // namespace platform
