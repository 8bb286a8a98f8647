// The Off-Line Mode dialog's fields over the project record, and the Information dialog's
// texts, offscreen and without a writer.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/dialogs/info_dialog.h"
#include "app/dialogs/offline_dialog.h"
#include "app/hex_entry_field.h"
#include "app/main_window.h"
#include "app/message_log.h"
#include "app/profile.h"
#include "catalogue/lookup.h"
#include "harness.h"
#include "modal_answers.h"
#include "platform/library_loader.h"
#include "workbench/vector_code_buffer.h"
#include "writer/writer.h"

namespace {

class NoHost : public writer::Host {
  public:
    void SetProgressPosition(std::uint32_t) override {}
    void ShowProgressBar(bool) override {}
    void PumpMessages() override {}
    void Wait(std::uint32_t) override {}
};
class NoLog : public core::MessageSink {
  public:
    void Clear() override {}
    void Append(std::string_view) override {}
};
class NoQuestions : public core::Questions {
  public:
    void Inform(std::string_view, std::string_view) override {}
    bool AskOkCancel(std::string_view, std::string_view) override { return false; }
    bool AskYesNo(std::string_view, std::string_view) override { return false; }
};

// Replaces a field's text as typing would.
void Type(QLineEdit* field, const QString& text) {
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

}  // namespace

class OfflineDialogTest : public QObject {
    Q_OBJECT
  private:
    model::VectorCodeBuffer buffer;
    NoLog log;
    NoHost host;
    NoQuestions questions;
    model::Workbench bench;
    std::unique_ptr<writer::WriterLink> link;
    std::unique_ptr<writer::Writer> writer;

  private slots:
    void initTestCase() {
        cat::SetLanguageID(0);
        bench.Attach(&buffer, &log);
        bench.FillSeriesList();
        QVERIFY(bench.SelectPartByIndex(3));  // 16 KB
        link = std::make_unique<writer::WriterLink>(host);
        writer = std::make_unique<writer::Writer>(bench, *link, host, log, questions);
    }

    void opensWithTheRecordsValuesAndTheEnableRule() {
        auto& info = bench.info;
        info.serialString = {'A', 'B', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
        info.serialAddress = 0x3FF0;
        info.serialNumber = 0x1A;
        info.maxCounter = 500;
        info.serialEnabled = 0;
        info.autoIncrement = 1;
        app::dialogs::OfflineDialog dialog(nullptr, *writer);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Off-Line Mode"));
        QCOMPARE(dialog.serialString()->text(), QStringLiteral("AB"));
        QCOMPARE(dialog.startAddress()->text(), QStringLiteral("00003FF0"));
        QCOMPARE(dialog.endAddress()->text(), QStringLiteral("00003FFF"));
        QCOMPARE(dialog.number()->text(), QStringLiteral("0000001A"));
        QCOMPARE(dialog.maxCounter()->text(), QStringLiteral("500"));
        QVERIFY(dialog.autoIncrement()->isChecked());
        QVERIFY(!dialog.enableSerial()->isChecked());
        for (QWidget* w : std::initializer_list<QWidget*>{
                 dialog.serialString(), dialog.startAddress(), dialog.endAddress(), dialog.number(),
                 dialog.autoIncrement()}) {
            QVERIFY(!w->isEnabled());
        }
        QVERIFY(dialog.endAddress()->isReadOnly());
        QCOMPARE(dialog.downloadButton()->toolTip(),
                 QStringLiteral("Download the code buffer content and information to the writer"));
        QCOMPARE(info.serialString[2], ' ');  // opening stored nothing new

        QTest::mouseClick(dialog.enableSerial(), Qt::LeftButton);
        QCOMPARE(info.serialEnabled, 1);
        QVERIFY(dialog.serialString()->isEnabled() && dialog.autoIncrement()->isEnabled());
    }

    // Each edit reaches the record at once; values beyond their limits are put back.
    void fieldEditsAndCorrections() {
        auto& info = bench.info;
        info.serialEnabled = 1;
        app::dialogs::OfflineDialog dialog(nullptr, *writer);

        Type(dialog.startAddress(), QStringLiteral("3FF1"));
        QCOMPARE(dialog.startAddress()->text(), QStringLiteral("00003FF0"));
        QCOMPARE(info.serialAddress, 0x3FF0u);
        QCOMPARE(dialog.endAddress()->text(), QStringLiteral("00003FFF"));
        Type(dialog.startAddress(), QStringLiteral("1234"));
        QCOMPARE(info.serialAddress, 0x1234u);
        QCOMPARE(dialog.endAddress()->text(), QStringLiteral("00001243"));

        Type(dialog.maxCounter(), QStringLiteral("70000"));
        QCOMPARE(dialog.maxCounter()->text(), QStringLiteral("65535"));
        QCOMPARE(info.maxCounter, 65535);
        Type(dialog.maxCounter(), QStringLiteral("12x"));  // digits only
        QCOMPARE(info.maxCounter, 12);

        Type(dialog.serialString(), QStringLiteral("XY"));
        QCOMPARE(std::string(info.SerialString()), std::string("XY          "));
        Type(dialog.serialString(), QStringLiteral("0123456789ABCDEF"));
        QCOMPARE(std::string(info.SerialString()), std::string("0123456789AB"));

        Type(dialog.number(), QStringLiteral("fffffffff"));  // at most 8 digits
        QCOMPARE(info.serialNumber, 0xFFFFFFFFu);
        Type(dialog.number(), QString());
        QCOMPARE(info.serialNumber, 0u);

        QTest::mouseClick(dialog.autoIncrement(), Qt::LeftButton);
        const std::uint8_t increment = info.autoIncrement;
        dialog.reject();  // Exit keeps every edit
        QCOMPARE(info.serialAddress, 0x1234u);
        QCOMPARE(info.autoIncrement, increment);
    }

    void informationDialogShowsTheReadout() {
        writer::InfoReadout readout;
        readout.partNo = "CV51A16";
        readout.number = "0000001A+";
        readout.options[0] = {"LOCK", true};
        app::dialogs::InfoDialog dialog(nullptr, readout);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Information"));
        QCOMPARE(dialog.Field(1034)->text(), QStringLiteral("CV51A16"));
        QCOMPARE(dialog.Field(1052)->text(), QStringLiteral("0000001A+"));
        QVERIFY(dialog.Field(1052)->isReadOnly());
        QCOMPARE(dialog.OptionName(0)->text(), QStringLiteral("LOCK"));
        QVERIFY(dialog.OptionBox(0)->isChecked() && !dialog.OptionBox(0)->isEnabled());

        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }

    // The window's Off-Line Mode button opens the dialog over the window's own project.
    void windowButtonOpensTheDialog() {
        QTemporaryDir settings;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
        void* quadrel = platform::LoadProgramLibrary("libquadrel.so");
        if (quadrel == nullptr) QSKIP("the hex-grid control library is not built");
        app::Profile profile(QStringLiteral("writer-offline-test"));
        app::MainWindow window(profile);
        window.Open();
        auto* button = window.findChild<QPushButton*>(QStringLiteral("c1005"));
        QVERIFY(button != nullptr);
        bool opened = false;
        testsupport::ModalAnswers answers;
        answers.On<app::dialogs::OfflineDialog>([&](auto* dialog) {
            opened = true;
            Type(dialog->maxCounter(), QStringLiteral("77"));
            dialog->reject();
        });
        button->click();
        QVERIFY(opened);
        QCOMPARE(window.writerSide().bench().info.maxCounter, 77);
    }

    // Download and Read Info from the window's dialog against a virtual writer: the window's log,
    // and the Information dialog showing what was downloaded.
    void downloadAndReadBackThroughTheWindow() {
        QTemporaryDir settings;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
        if (platform::LoadProgramLibrary("libquadrel.so") == nullptr)
            QSKIP("the hex-grid control library is not built");
        vwt::VWriter device({"--part", "51"});
        QVERIFY(device.Start());
        app::Profile profile(QStringLiteral("writer-offline-test"));
        app::MainWindow window(profile);
        window.Open();
        model::Workbench& wb = window.bench();
        QVERIFY(wb.SelectPartByIndex(51));
        wb.buffer()->SetBytes(std::vector<std::uint8_t>(0x200, 0x11));
        wb.info.apLength = 0x200;
        wb.info.maxCounter = 9;
        auto* button = window.findChild<QPushButton*>(QStringLiteral("c1005"));

        {
            testsupport::ModalAnswers answers;
            answers.On<app::dialogs::OfflineDialog>([](auto* d) { d->Download(); });
            button->click();
        }
        const QString afterDownload = QString::fromStdString(window.log().RawText());
        QVERIFY2(afterDownload.contains(QStringLiteral("Write Code => Pass !\t")) &&
                     afterDownload.contains(QStringLiteral("Write Info => Pass !\t")) &&
                     afterDownload.endsWith(QStringLiteral("-----End-----\r\n")),
                 qPrintable(afterDownload));

        QString partNo, filesize, checksum, maxCounter;
        testsupport::ModalAnswers answers;
        answers
            .On<app::dialogs::InfoDialog>([&](auto* info) {
                partNo = info->Field(1034)->text();
                filesize = info->Field(1039)->text();
                checksum = info->Field(1040)->text();
                maxCounter = info->Field(1041)->text();
                QTest::keyClick(info, Qt::Key_Escape);
            })
            .On<app::dialogs::OfflineDialog>([](auto* d) { d->ReadInfo(); });
        button->click();
        QCOMPARE(partNo, QStringLiteral("CV51D32"));
        QCOMPARE(filesize, QStringLiteral("00000200"));
        QCOMPARE(checksum, QStringLiteral("2200"));  // 0x200 bytes of 0x11
        QCOMPARE(maxCounter, QStringLiteral("9"));
        QVERIFY(QString::fromStdString(window.log().RawText())
                    .contains(QStringLiteral("Read Info => Pass !")));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
};

QTEST_MAIN(OfflineDialogTest)
#include "offline_dialog_test.moc"
