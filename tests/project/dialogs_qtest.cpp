// The file dialogs of the window: what they start with, how their controls depend on each
// other, and what they hand back.
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "app/dialogs/file_dialogs.h"
#include "app/hex_entry_field.h"
#include "app/profile.h"
#include "modal_answers.h"

using namespace app::dialogs;

class DialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(QStringLiteral("dialogs-test"));
    }

    void selectAreaStartsOnCodeAndReadsHexForData() {
        SelectAreaDialog dialog(0x3A00);
        QVERIFY(dialog.apButton()->isChecked());
        QVERIFY(!dialog.addressField()->isEnabled());
        QCOMPARE(dialog.addressField()->text(), QStringLiteral("3A00"));
        QCOMPARE(dialog.PlaceAddress(), 0u);
        dialog.iapButton()->click();
        QVERIFY(dialog.addressField()->isEnabled());
        QCOMPARE(dialog.PlaceAddress(), 0x3A00u);
        dialog.addressField()->setText(QStringLiteral("1a2bzz"));
        QCOMPARE(dialog.PlaceAddress(), 0x1A2Bu);
        dialog.addressField()->setText(QStringLiteral("zz"));
        QCOMPARE(dialog.PlaceAddress(), 0u);
        dialog.apButton()->click();
        QVERIFY(!dialog.addressField()->isEnabled());
        QCOMPARE(dialog.PlaceAddress(), 0u);
    }

    void customSettingOkReadsTheFieldsAndCancelKeepsTheValues() {
        CustomSettingDialog dialog(0x05, "ABCDEFGHIJKLMNOPQRSTU");
        QCOMPARE(dialog.customIdField()->text(), QStringLiteral("05"));
        QCOMPARE(dialog.customIdField()->maxLength(), 2);
        QCOMPARE(dialog.stringIdField()->text(), QStringLiteral("ABCDEFGHIJKLMNOP"));
        dialog.customIdField()->setText(QString());
        dialog.stringIdField()->setText(QStringLiteral("XY"));
        dialog.reject();
        QCOMPARE(dialog.CustomId(), 0x05);
        QCOMPARE(dialog.StringId(), std::string("ABCDEFGHIJKLMNOPQRSTU"));

        CustomSettingDialog ok(0x05, "AB");
        ok.customIdField()->setText(QString());
        ok.stringIdField()->setText(QStringLiteral("XY"));
        ok.accept();
        QCOMPARE(ok.CustomId(), 0);
        QCOMPARE(ok.StringId(), std::string("XY"));
        CustomSettingDialog hex(0, "");
        hex.customIdField()->setText(QStringLiteral("c3"));
        hex.accept();
        QCOMPARE(hex.CustomId(), 0xC3);
    }

    void insertIspFollowsTheChoice() {
        QTemporaryDir dir;
        app::Profile profile(QStringLiteral("dialogs-test"));
        profile.WriteText(QStringLiteral("IspPath"), dir.filePath(QStringLiteral("last.hex")));
        InsertIspDialog dialog(profile);
        QVERIFY(dialog.builtinButton()->isChecked());
        QVERIFY(!dialog.browseButton()->isEnabled());
        QVERIFY(dialog.pathField()->text().isEmpty());

        QString startedFrom;
        const QString chosen = dir.filePath(QStringLiteral("boot.bin"));
        dialog.chooseFile = [&](const QString& start) {
            startedFrom = start;
            return chosen;
        };
        dialog.userButton()->click();
        QVERIFY(dialog.browseButton()->isEnabled());
        QCOMPARE(dialog.Choice().source, proj::ISP_SRC_USER);
        dialog.browseButton()->click();
        QCOMPARE(startedFrom, dir.filePath(QStringLiteral("last.hex")));
        QCOMPARE(dialog.pathField()->text(), chosen);
        QCOMPARE(QString::fromStdString(dialog.Choice().path), chosen);
        QCOMPARE(profile.ReadText(QStringLiteral("IspPath")), chosen);

        // A cancelled Browse leaves the path empty; back to the built-in code empties it too.
        dialog.chooseFile = [](const QString&) { return QString(); };
        dialog.browseButton()->click();
        QVERIFY(dialog.Choice().path.empty());
        dialog.chooseFile = [&](const QString&) { return chosen; };
        dialog.browseButton()->click();
        dialog.builtinButton()->click();
        QCOMPARE(dialog.Choice().source, proj::ISP_SRC_BUILTIN);
        QVERIFY(dialog.Choice().path.empty());
        QVERIFY(dialog.pathField()->text().isEmpty());
        QVERIFY(!dialog.browseButton()->isEnabled());

        // Insert with the built-in choice closes with OK.
        dialog.insertButton()->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void insertIspWithoutAUserFileStaysOpen() {
        app::Profile profile(QStringLiteral("dialogs-test"));
        InsertIspDialog dialog(profile);
        dialog.userButton()->click();
        // The information box appears; close it as the operator would.
        QString shown;
        testsupport::ModalAnswers answers;
        answers.On<QMessageBox>([&shown](QMessageBox* box) {
            shown = box->text();
            box->accept();
        });
        dialog.insertButton()->click();
        QCOMPARE(shown, QStringLiteral("Please load the ISP code file !"));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    // Without a remembered file the dialog opens in the home folder with no file name; a
    // remembered file whose folder is gone counts as none.
    void fileDialogsStartAtTheRememberedFileOrAtHome() {
        QTemporaryDir dir;
        const QString remembered = dir.filePath(QStringLiteral("last.bin"));
        const struct {
            QString remembered, folder, name;
        } cases[] = {
            {QString(), QDir::homePath(), QString()},
            {dir.filePath(QStringLiteral("gone/x.bin")), QDir::homePath(), QString()},
            {remembered, dir.path(), QStringLiteral("last.bin")},
        };
        for (const auto& c : cases) {
            QFileDialog dialog;
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            StartFileDialog(dialog, c.remembered);
            QCOMPARE(QDir(dialog.directory()).canonicalPath(), QDir(c.folder).canonicalPath());
            auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            QCOMPARE(name->text(), c.name);
        }
    }

    // With WRITER_SHOTS set, pictures of the dialogs for a look at their layout.
    void pictures() {
        const QString dir = qEnvironmentVariable("WRITER_SHOTS");
        if (dir.isEmpty()) QSKIP("WRITER_SHOTS not set");
        app::Profile profile(QStringLiteral("dialogs-test"));
        SelectAreaDialog area(0x6A00);
        CustomSettingDialog custom(0x05, "LINE-7");
        InsertIspDialog isp(profile);
        for (auto [dialog, name] : {std::pair<QDialog*, const char*>{&area, "select-area"},
                                    {&custom, "custom-setting"},
                                    {&isp, "insert-isp"}}) {
            dialog->show();
            QVERIFY(dialog->grab().save(dir + u'/' + QString::fromLatin1(name) +
                                        QStringLiteral(".png")));
        }
    }

    void filtersShowTheFamiliarTexts() {
        QCOMPARE(NameFilter("Support Format(*.bin;*.hex;*.qrx)", "*.bin;*.hex;*.qrx"),
                 QStringLiteral("Support Format(*.bin;*.hex;*.qrx) (*.bin *.hex *.qrx)"));
        QCOMPARE(NameFilter("all Format(*.*)", "*.*"), QStringLiteral("all Format(*.*) (*)"));
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_qtest.moc"
