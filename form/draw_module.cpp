// libformdraw.so: the one entry point writer-cli looks up by name.
#include <QGuiApplication>
#include <string>
#include <string_view>

#include "form/draw_module.h"
#include "form/form_outputs.h"

extern "C" __attribute__((visibility("default"))) int FormDraw(const char* text, std::size_t length,
                                                               int kind, const char* path) {
    if (text == nullptr || path == nullptr) return 0;
    const std::string_view form(text, length);
    auto draw = [&] {
        return kind == form::kDrawPdfPage ? form::PrintFormPdf(path, form)
                                          : form::SaveFormPicture(path, form);
    };
    // Fonts and painting need a GUI application; without a display it runs off-screen.
    if (QGuiApplication::instance() != nullptr) return draw() ? 1 : 0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static char name[] = "writer-cli";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    QGuiApplication application(argc, argv);
    return draw() ? 1 : 0;
}
