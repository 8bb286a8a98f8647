#include "app/startup.h"

#include <QApplication>

#include "app/main_window.h"
#include "app/profile.h"
#include "catalogue/lookup.h"
#include "platform/library_loader.h"

namespace app {

int RunWriter(const QStringList& arguments) {
    const QString commandLinePath = arguments.size() > 1 ? arguments.at(1) : QString();

    void* quadrel = platform::LoadProgramLibrary(kQuadrelLibrary);
    if (quadrel == nullptr) return 1;

    Profile profile;
    cat::InitLanguageFromProductInfo();

    int result = 1;
    {
        // No writer link yet: connecting fails, so the profile's writer family is used.
        MainWindow window(profile);
        if (window.CodeBufferCreated()) {
            window.Open(commandLinePath);
            result = QApplication::exec();
        }
    }
    platform::UnloadProgramLibrary(quadrel);
    return result;
}

}  // namespace app
