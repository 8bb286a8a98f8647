// Not a test: pictures of the window during and after a Program on a paced virtual writer, and
// of Configure Auto, in both languages, for a person to look at.
//   writer_screenshots OUT_DIR    (run under xvfb-run, or with QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/dialogs/auto_dialog.h"
#include "app/main_window.h"
#include "app/profile.h"
#include "catalogue/lookup.h"
#include "harness.h"
#include "platform/library_loader.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    if (platform::LoadProgramLibrary("libquadrel.so") == nullptr) return 1;
    cat::InitLanguageFromProductInfo();
    vwt::VWriter device({"--part", "204", "--usb-timing"});
    if (!device.Start()) return 1;

    app::Profile profile(QStringLiteral("writer-screenshots"));
    profile.WriteInt(QStringLiteral("PartNo"), 204);
    app::MainWindow window(profile);
    window.Open();
    window.show();
    std::vector<std::uint8_t> bytes(0x2000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    window.codeBuffer().SetBytes(bytes);

    for (int command : {257, 256}) {
        window.SystemCommand(command);
        const QString language = command == 256 ? QStringLiteral("en") : QStringLiteral("zh");
        bool taken = false;
        window.writerHost().afterPump = [&] {
            auto* bar = window.findChild<QWidget*>("c1622");
            if (!taken && bar && bar->property("value").toInt() >= 40) {
                taken = true;
                window.grab().save(out + "/program-during-" + language + ".png");
            }
        };
        if (!window.writerSide().OnButton(1009).passed()) return 1;
        window.writerHost().afterPump = nullptr;
        QTest::qWait(100);
        window.grab().save(out + "/program-after-" + language + ".png");

        app::dialogs::AutoDialog dialog(&window, 0x1F, [](std::uint8_t) {});
        dialog.show();
        QTest::qWait(100);
        dialog.grab().save(out + "/auto-" + language + ".png");
    }
    return 0;
}
