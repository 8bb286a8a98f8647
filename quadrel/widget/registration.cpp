// Loading libquadrel.so registers the "QUADREL10" window class; nothing else is exported.
#include "platform/quadrel_messages.h"
#include "platform/window_class.h"
#include "quadrel/widget/quadrel_widget.h"

namespace {

QWidget* CreateQuadrel(QWidget* parent, int controlId) {
    return new quadrel::QuadrelWidget(parent, controlId);
}

// Runs once per load of the library; a second registration of the name is refused by the
// registry, so the class is registered exactly once per process.
const bool kRegistered = platform::RegisterWindowClass(platform::kQuadrelClassName, &CreateQuadrel);

}  // namespace
