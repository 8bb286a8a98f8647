// The upgrade's progress dialog as the operator sees it, and device changes reaching the Go
// event through the window's event queue. With WRITER_SHOTS=DIR it also saves pictures of the
// dialog in both languages, waiting and at a percentage.
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>

#include "app/device_change.h"
#include "app/dialogs/upgrade_dialog.h"
#include "catalogue/lookup.h"
#include "harness.h"
#include "platform/device/writer_ids.h"
#include "writer/go_event.h"

using app::dialogs::UpgradeDialog;

class UpgradeDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void blinksWarnsAndShowsTheProgress() {
        cat::SetLanguageID(0);
        UpgradeDialog dialog(nullptr);
        QVERIFY(dialog.message()->text().startsWith("Updating firmware now, \nplease"));
        QVERIFY(dialog.blinkTimer()->isActive());
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());  // only the end of the upgrade closes it

        const QString banner = dialog.banner()->text();
        QVERIFY(!banner.isEmpty());
        dialog.Blink();
        QVERIFY(dialog.banner()->text().isEmpty());
        dialog.Blink();
        QCOMPARE(dialog.banner()->text(), banner);

        const QString wait = QString::fromStdString(cat::LanguageTextOr(0x07DA, "Wait..."));
        const struct {
            std::uint32_t value;
            QString text;
            int bar;
        } rows[] = {{255, wait, 0}, {37, "37%", 37}, {100, "100%", 100}, {101, wait, 0}};
        for (const auto& row : rows) {
            dialog.ShowValue(row.value);
            QCOMPARE(dialog.percentage()->text(), row.text);
            QCOMPARE(dialog.bar()->value(), row.bar);
        }
    }

    void deviceChangesReachTheGoEventThroughTheQueue() {
        vwt::VWriter device;
        QVERIFY(device.Start());
        auto go = writer::CreateGoEvent(writer_ids::GoEventName());
        QVERIFY(app::RegisterHidNotification());
        device.Ctl("unplug");
        // Nothing is set until the window's queue runs the handling.
        QTRY_VERIFY_WITH_TIMEOUT(go->IsSet(), 5000);
        go->Reset();
        device.Ctl("plug");
        QTRY_VERIFY_WITH_TIMEOUT(go->IsSet(), 5000);
        app::UnregisterHidNotification();
    }

    void pictures() {
        const QByteArray dir = qgetenv("WRITER_SHOTS");
        if (dir.isEmpty()) QSKIP("set WRITER_SHOTS=DIR to save pictures");
        for (const int language : {0, 1}) {
            cat::SetLanguageID(language);
            UpgradeDialog dialog(nullptr);
            dialog.show();
            for (const std::uint32_t value : {255u, 37u}) {
                dialog.ShowValue(value);
                const QString name = QString("%1/upgrade_%2_%3.png")
                                         .arg(QString::fromUtf8(dir))
                                         .arg(language ? "zh" : "en")
                                         .arg(value);
                QVERIFY(dialog.grab().save(name));
            }
        }
        cat::SetLanguageID(0);
    }
};

QTEST_MAIN(UpgradeDialogTest)
#include "upgrade_dialog_qtest.moc"
