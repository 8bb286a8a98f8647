// The writer buttons in the real window, offscreen, against a virtual writer: the progress bar
// in the file path's place, a second click and a part change from inside a transfer turned away,
// the start-up probe of the writer's family, Configure Auto.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/dialogs/auto_dialog.h"
#include "app/main_window.h"
#include "app/profile.h"
#include "catalogue/lookup.h"
#include "harness.h"
#include "platform/library_loader.h"

class WindowOpsTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY(settings_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
        quadrel_ = platform::LoadProgramLibrary("libquadrel.so");
        cat::InitLanguageFromProductInfo();
    }

    void aClickFromInsideATransferIsTurnedAway() {
        if (quadrel_ == nullptr) QSKIP("the hex-grid control library is not built");
        vwt::VWriter device({"--part", "1", "--usb-timing"});
        QVERIFY(device.Start());
        app::Profile profile;
        app::MainWindow w(profile);
        w.Open();
        QVERIFY(w.windowTitle().endsWith(" - 虚拟烧录器"));  // the virtual writer is named
        w.codeBuffer().SetBytes(std::vector<std::uint8_t>(3000, 0x5A));
        auto* bar = w.findChild<QProgressBar*>("c1622");
        auto* path = w.findChild<QLabel*>("c1524");
        auto* parts = w.findChild<QComboBox*>("c1501");
        auto* lock = w.findChild<QCheckBox*>("c1560");
        const QRect pathPlace = path->geometry();
        const int part = w.bench().currentPart;
        int pumps = 0;
        bool barInPlace = true;
        bool locked = true;
        w.writerHost().afterPump = [&] {
            ++pumps;
            barInPlace =
                barInPlace && !bar->isHidden() && path->isHidden() && bar->geometry() == pathPlace;
            locked = locked && !parts->isEnabled() && !lock->isEnabled() &&
                     !w.findChild<QPushButton*>("c1000")->isEnabled();
            // The operator picks another part, ticks an option, clicks two more operations.
            QTest::keyClick(parts, Qt::Key_Down);
            QTest::mouseClick(lock, Qt::LeftButton);
            w.findChild<QPushButton*>("c1010")->click();  // Verify
            w.findChild<QPushButton*>("c1006")->click();  // Check ID
        };
        w.findChild<QPushButton*>("c1009")->click();  // Program
        w.writerHost().afterPump = nullptr;
        QVERIFY(pumps > 0);
        QVERIFY(barInPlace);
        QVERIFY(locked);
        QVERIFY(bar->isHidden());
        QVERIFY(!path->isHidden());
        QCOMPARE(bar->value(), 100);
        QCOMPARE(w.bench().currentPart, part);
        QVERIFY(!lock->isChecked());
        QVERIFY(parts->isEnabled() && lock->isEnabled());
        const QString log = QString::fromStdString(w.log().RawText());
        QCOMPARE(log.count("Program => Pass !"), 1);
        QCOMPARE(log.count("Check ID =>"), 1);
        QVERIFY(!log.contains("Verify"));
        QVERIFY(log.endsWith("-----End-----\r\n"));
        QVERIFY(!w.busy());
    }

    void theWriterOfAnotherFamilyOpensItsFirstPart() {
        if (quadrel_ == nullptr) QSKIP("the hex-grid control library is not built");
        vwt::VWriter device({"--part", "204"});  // a writer of family 5
        QVERIFY(device.Start());
        app::Profile profile;
        app::MainWindow w(profile);  // asks the writer itself
        w.Open();
        QCOMPARE(w.bench().currentPart, 201);  // the lowest-numbered part of family 5
    }

    void configureAutoCarriesTheUnusedBits() {
        std::uint8_t ran = 0;
        int runs = 0;
        app::dialogs::AutoDialog dialog(nullptr, 0xDF, [&](std::uint8_t mask) {
            ran = mask;
            ++runs;
        });
        // Every box but Erase ticked, as the mask says.
        for (int bit = 0; bit < 6; ++bit) QCOMPARE(dialog.Box(bit)->isChecked(), bit != 5);
        dialog.Box(0)->setChecked(false);
        dialog.Box(5)->setChecked(true);
        dialog.Run();
        QCOMPARE(ran, std::uint8_t{0xFE});
        QCOMPARE(runs, 1);
        QVERIFY(!dialog.isVisible() || dialog.result() == 0);  // Run leaves it open
    }

  private:
    QTemporaryDir settings_;
    void* quadrel_ = nullptr;
};

QTEST_MAIN(WindowOpsTest)
#include "window_ops_qtest.moc"
