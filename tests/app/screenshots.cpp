// Not a test: opens the main window as the program does and saves pictures of it, in both
// languages, at its natural size and enlarged, for a person to look at.
//   app_screenshots OUT_DIR    (run under xvfb-run, or with QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/main_window.h"
#include "app/profile.h"
#include "catalogue/lookup.h"
#include "platform/library_loader.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    if (platform::LoadProgramLibrary("libquadrel.so") == nullptr) return 1;
    cat::InitLanguageFromProductInfo();

    app::Profile profile(QStringLiteral("writer-screenshots"));
    // A part with every group of the option panel filled, when the catalogue has one.
    profile.WriteInt(QStringLiteral("PartNo"), argc > 2 ? QString(argv[2]).toInt() : -1);
    app::MainWindow window(profile);
    window.Open();
    // Something in the buffer and the log, so both show text.
    std::vector<std::uint8_t> bytes(0x180);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    window.codeBuffer().SetBytes(bytes);
    window.log().LogAppend("----Begin----\r\n");
    window.log().LogAppend("Check ID => ");
    window.log().LogAppend("Pass !\t\t [%.3f\"]\r\n", 0.012);
    window.log().LogAppend("-----End-----\r\n");

    auto save = [&](const QString& name) {
        QTest::qWait(300);
        window.grab().save(out + u'/' + name + QStringLiteral(".png"));
    };
    const QSize natural = window.size();
    for (int command : {257, 256}) {
        window.SystemCommand(command);
        const QString language = command == 256 ? QStringLiteral("en") : QStringLiteral("zh");
        window.resize(natural);
        save(QStringLiteral("natural-") + language);
        window.resize(natural.width() * 3 / 2, natural.height() * 4 / 3);
        save(QStringLiteral("enlarged-") + language);
        // During a transfer: the bar in the path's place, the workbench's controls disabled.
        window.resize(natural);
        window.writerSide().busy = true;
        window.ShowProgress(true);
        save(QStringLiteral("busy-") + language);
        window.ShowProgress(false);
        window.writerSide().busy = false;
    }
    return 0;
}
