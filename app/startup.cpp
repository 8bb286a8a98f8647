#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include "app/main_window.h"
#include "app/profile.h"
#include "catalogue/lookup.h"
#include "platform/library_loader.h"

namespace app {

QString CommandLineFile(const QStringList& arguments) {
    if (arguments.size() < 2 || arguments.at(1).isEmpty()) return {};
    const QFileInfo given(arguments.at(1));
    // ".." is resolved in the real folder when it exists, so a linked folder leads where the
    // system would open the file; otherwise by the text alone.
    const QString folder = given.absoluteDir().canonicalPath();
    if (!folder.isEmpty()) return QDir(folder).filePath(given.fileName());
    return QDir::cleanPath(given.absoluteFilePath());
}

int RunWriter(const QStringList& arguments) {
    const QString commandLinePath = CommandLineFile(arguments);

    void* quadrel = platform::LoadProgramLibrary(kQuadrelLibrary);
    if (quadrel == nullptr) return 1;

    Profile profile;
    cat::InitLanguageFromProductInfo();

    int result = 1;
    {
        // The window's own link asks an attached writer for its family as it opens.
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
