// The window switching a virtual writer between two firmware families: the question, the
// blinking dialog over the window while dfu runs, and the operation on the new firmware.
// With WRITER_SHOTS=DIR it saves a picture of the window with the dialog in front.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "app/dialogs/upgrade_dialog.h"
#include "app/main_window.h"
#include "app/profile.h"
#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "harness.h"
#include "modal_answers.h"
#include "platform/library_loader.h"

namespace {

constexpr const char* kApplication = "writer-dfu-window-test";

}  // namespace

class WindowUpgradeTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY(settingsDir_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
        QVERIFY(platform::LoadProgramLibrary("libquadrel.so") != nullptr);
    }

    void switchingFamiliesUpgradesThroughTheDialog() {
        vwt::VWriter device({"--part", "1", "--usb-timing"});
        QVERIFY(device.Start());
        cat::InitLanguageFromProductInfo();
        app::Profile profile(kApplication);
        app::MainWindow window(profile);
        window.Open();
        QCOMPARE(window.bench().currentPart, 1);

        // A part of family 3 with its chip in the socket: the writer runs family 0.
        constexpr int kPart = 34;
        device.Ctl("part 34");
        QComboBox* series = window.findChild<QComboBox*>("c1500");
        series->setCurrentIndex(series->findData(cat::Part(kPart).Series()));
        emit series->activated(series->currentIndex());
        QComboBox* parts = window.findChild<QComboBox*>("c1501");
        parts->setCurrentIndex(parts->findData(kPart));
        emit parts->activated(parts->currentIndex());
        QCOMPARE(window.bench().currentPart, kPart);

        // Answers the question, and watches the dialog while the upgrade runs.
        QStringList questions, shown;
        bool pictured = false;
        testsupport::ModalAnswers answers;
        answers.On<QMessageBox>([&](QMessageBox* box) {
            questions << box->text();
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
        });
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<app::dialogs::UpgradeDialog*>(top);
                if (!dialog || !dialog->isVisible()) continue;
                QCOMPARE(dialog->parentWidget(), &window);
                const QString text = dialog->percentage()->text();
                if (shown.isEmpty() || shown.back() != text) shown << text;
                const QByteArray dir = qgetenv("WRITER_SHOTS");
                if (!pictured && !dir.isEmpty()) {
                    QPixmap picture = window.grab();
                    QPainter painter(&picture);
                    painter.drawPixmap(dialog->pos() - window.pos(), dialog->grab());
                    painter.end();
                    pictured = picture.save(QString::fromUtf8(dir) + "/window_upgrade.png");
                }
            }
        });
        watcher.start(5);
        QTest::mouseClick(window.findChild<QPushButton*>("c1006"), Qt::LeftButton);
        watcher.stop();

        QCOMPARE(questions.size(), 1);
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown.front(), QString::fromStdString(cat::LanguageTextOr(0x07DA, "Wait...")));
        // Once the operation began the upgrade's line was cleared with the rest of the log.
        QVERIFY(window.log().RawText().starts_with("----Begin----\r\nCheck ID => Pass !"));
        QCOMPARE(QString::fromStdString(device.StateValue("firmware")).left(2), QString("03"));
        for (QWidget* top : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<app::dialogs::UpgradeDialog*>(top));  // destroyed at the end
    }

  private:
    QTemporaryDir settingsDir_;
};

QTEST_MAIN(WindowUpgradeTest)
#include "window_upgrade_qtest.moc"
