// The main window opened as the program opens it, offscreen: start-up part restoration, the
// profile, the language switch, the mirrored option panel and the code buffer's status line.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "app/profile.h"
#include "app/startup.h"
#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "modal_answers.h"
#include "platform/library_loader.h"
#include "platform/quadrel_messages.h"

namespace {

const QString kApplication = QStringLiteral("writer-window-test");

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString LanguageName(int key) {
    return QString::fromStdString(cat::LanguageField(static_cast<std::uint16_t>(key), 0).value());
}

// The carried catalogue's series and part lists in the order the operator sees them, written
// out by hand: series 4 last, each part followed by its sibling (index + 128 below 256, + 2048
// above).
const std::vector<std::pair<int, std::vector<int>>> kListOrder = {
    {0, {1, 129, 2, 130, 3, 131, 4, 132, 5, 133, 6, 134, 7, 135, 8, 136}},
    {1, {9, 10, 11, 12, 140, 13, 141, 14, 142, 15, 143, 16, 144}},
    {2, {30, 158, 34, 162, 42, 170, 43, 171, 44, 172, 45, 173, 46, 174, 47, 175}},
    {3, {149, 157, 49, 177, 51, 179, 57, 185, 59, 187, 110, 238, 126, 254}},
    {5, {286, 2334, 304, 2352}},
    {6, {305, 2353, 306, 2354}},
    {4, {201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 211, 212, 213}},
};

int LowestPartOfFamily(std::uint32_t family) {
    for (int i : cat::AllPartIndices()) {
        if (cat::Part(i).Exists() && cat::Part(i).FirmwareFamily() == family) return i;
    }
    return -1;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY(settingsDir_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
        quadrel_ = platform::LoadProgramLibrary("libquadrel.so");
    }

    void init() {
        QSettings(QSettings::NativeFormat, QSettings::UserScope,
                  "Local AppWizard-Generated Applications", kApplication)
            .clear();
        cat::InitLanguageFromProductInfo();
    }

    void cleanup() { window_.reset(); }

    void emptyProfileOpensFirstPartInChinese() {
        auto& w = Open();
        QCOMPARE(cat::LanguageID(), 1);
        QCOMPARE(Part(w), 1);  // the lowest part without a writer family
        QCOMPARE(Combo(w, 1500)->currentData().toInt(), cat::Part(1).Series());
        QCOMPARE(Combo(w, 1500)->currentText(),
                 Utf8(cat::ChooseLanguageVariant(*cat::LookupText(cat::kSeriesList, 0), 1)));
        QCOMPARE(Combo(w, 1501)->currentText(), Utf8(cat::Part(1).Name()));
        QCOMPARE(Button(w, 1000)->text(), LanguageName(1000));
        QCOMPARE(w.windowTitle(), Utf8(*cat::LookupText(cat::kProductInfo, 0)));
        QVERIFY(!w.busy());
        QVERIFY(w.isVisible());
        QCOMPARE(w.bench().currentPart, 1);
        QVERIFY(!w.windowIcon().isNull());
        const bool haveBanner =
            QFile::exists(QString::fromStdString(platform::ProgramDirectory()) + "/logo.bmp");
        QCOMPARE(!w.findChild<QLabel*>("c1520")->pixmap().isNull(), haveBanner);
    }

    void programStartsInTheProductLanguageWhateverWasChosenBefore() {
        if (quadrel_ == nullptr) QSKIP("the hex-grid control library is not built");
        // The program's own profile (named after the running program), as the last run left it.
        app::Profile().WriteInt("LanguageID", 0);
        app::Profile().WriteInt("PartNo", -1);
        cat::SetLanguageID(0);
        int language = -1;
        int part = -1;
        bool idle = false;
        // Looks for the window until it is shown; a program that never shows it ends the run.
        QTimer look;
        QElapsedTimer looking;
        looking.start();
        connect(&look, &QTimer::timeout, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* w = qobject_cast<app::MainWindow*>(top);
                if (w == nullptr || !w->isVisible()) continue;
                look.stop();
                language = cat::LanguageID();
                part = Part(*w);
                idle = !w->busy();
                w->Exit();
                return;
            }
            if (looking.elapsed() > 5000) {
                look.stop();
                QApplication::exit(2);
            }
        });
        look.start(5);
        QCOMPARE(app::RunWriter({QStringLiteral("writer")}), 0);
        QCOMPARE(language, 1);
        QCOMPARE(part, 1);
        QVERIFY(idle);
        QCOMPARE(app::Profile().ReadInt("PartNo", -99), 1);  // written on the way out
    }

    void storedPartIsRestoredWithItsSeries() {
        // A part of a later series, and one listed after its sibling.
        for (int stored : {286, 2334, 129}) {
            if (!cat::Part(stored).Exists()) continue;
            Profile().WriteInt("PartNo", stored);
            auto& w = Open();
            QCOMPARE(Part(w), stored);
            QCOMPARE(Combo(w, 1500)->currentData().toInt(), cat::Part(stored).Series());
            QCOMPARE(w.bench().currentPart, stored);
            window_.reset();
        }
    }

    void missingStoredPartFallsBackToFirstOfFirstSeries() {
        const int first = kListOrder.front().second.front();
        for (int stored : {17, 4095, 5000, -7, 0}) {
            QVERIFY(!cat::Part(stored).Exists());
            Profile().WriteInt("PartNo", stored);
            auto& w = Open();
            QCOMPARE(Combo(w, 1500)->currentIndex(), 0);
            QCOMPARE(Combo(w, 1501)->currentIndex(), 0);
            QCOMPARE(Part(w), first);
            window_.reset();
        }
    }

    void writerFamilyOrStoredTypeChoosesThePart() {
        const int expected = LowestPartOfFamily(5);
        QVERIFY(expected > 0);
        {
            auto& w = Open([] { return std::optional<std::uint32_t>(5); });
            QCOMPARE(Part(w), expected);
            QCOMPARE(Combo(w, 1500)->currentData().toInt(), cat::Part(expected).Series());
            window_.reset();
        }
        // No writer answers: the stored type is used.
        Profile().WriteInt("PartType", 5);
        auto& w = Open();
        QCOMPARE(Part(w), expected);
        window_.reset();
        // An answering writer wins over the stored type.
        auto& w2 = Open([] { return std::optional<std::uint32_t>(0); });
        QCOMPARE(Part(w2), 1);
    }

    void exitWritesTheProfileAndEscapeDoesNothing() {
        auto& w = Open();
        const int stored = LowestPartOfFamily(5);
        auto* series = Combo(w, 1500);
        const int seriesPosition = series->findData(cat::Part(stored).Series());
        series->setCurrentIndex(seriesPosition);
        emit series->activated(seriesPosition);
        auto* parts = Combo(w, 1501);
        const int partPosition = parts->findData(stored);
        QVERIFY(partPosition >= 0);
        parts->setCurrentIndex(partPosition);
        emit parts->activated(partPosition);
        QCOMPARE(w.bench().currentPart, stored);

        QTest::keyClick(&w, Qt::Key_Escape);
        QTest::keyClick(w.Control(1507), Qt::Key_Escape);
        QVERIFY(w.isVisible());
        QCOMPARE(Profile().ReadInt("PartNo", -99), -99);  // nothing written yet

        Button(w, 2)->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(Profile().ReadInt("PartNo", -99), stored);
        QCOMPARE(Profile().ReadInt("PartType", -99), 5);
    }

    void closingTheWindowWritesTheProfile() {
        auto& w = Open();
        w.close();
        QCOMPARE(Profile().ReadInt("PartNo", -99), 1);
        QCOMPARE(Profile().ReadInt("PartType", -99), 0);
    }

    void everySeriesListsItsPartsInOrder() {
        auto& w = Open();
        auto* series = Combo(w, 1500);
        auto* parts = Combo(w, 1501);
        QCOMPARE(series->count(), static_cast<int>(kListOrder.size()));
        int listed = 0;
        for (int position = 0; position < series->count(); ++position) {
            QCOMPARE(series->itemData(position).toInt(), kListOrder[std::size_t(position)].first);
            series->setCurrentIndex(position);
            emit series->activated(position);
            const auto& expected = kListOrder[std::size_t(position)].second;
            QCOMPARE(parts->count(), static_cast<int>(expected.size()));
            for (int i = 0; i < parts->count(); ++i) {
                QCOMPARE(parts->itemData(i).toInt(), expected[std::size_t(i)]);
                QCOMPARE(parts->itemText(i), Utf8(cat::Part(expected[std::size_t(i)]).Name()));
            }
            // The first part is applied, and any other can be chosen.
            QCOMPARE(w.bench().currentPart, expected.front());
            const int last = parts->count() - 1;
            parts->setCurrentIndex(last);
            emit parts->activated(last);
            QCOMPARE(w.bench().currentPart, expected.back());
            if (quadrel_ != nullptr) {
                QCOMPARE(w.codeBuffer().Capacity(), cat::Part(expected.back()).CodeSize());
            }
            listed += parts->count();
        }
        QCOMPARE(listed, static_cast<int>(cat::AllPartIndices().size()));
    }

    void languageSwitchRetextsTheWindow() {
        auto& w = Open();
        auto* series = Combo(w, 1500);
        const int position = series->count() - 1;  // the last series, whose number is 4
        series->setCurrentIndex(position);
        emit series->activated(position);
        const int part = Part(w);
        const int row = FirstOptionRow(part);

        w.SystemCommand(256);
        QCOMPARE(cat::LanguageID(), 0);
        QCOMPARE(Profile().ReadInt("LanguageID", -1), 0);
        QCOMPARE(Button(w, 1000)->text(), QStringLiteral("Load File"));
        QCOMPARE(Button(w, 1000)->toolTip(),
                 QStringLiteral("Load source file(*.bin, *.hex, *.qrx) into the code buffer"));
        QCOMPARE(Button(w, 2)->text(), QStringLiteral("Exit"));
        QCOMPARE(Button(w, 2)->toolTip(), QString());  // no second field
        QCOMPARE(Button(w, 1015)->text(), QStringLiteral("Clear Message"));
        QCOMPARE(w.findChild<QGroupBox*>("c1026")->title(), QStringLiteral("H/W Option"));
        QCOMPARE(w.findChild<QLabel*>("c1034")->text(), QStringLiteral("PartNo."));
        QCOMPARE(w.findChild<QLabel*>("c1040")->text(), QStringLiteral("Checksum"));
        QCOMPARE(w.findChild<QLabel*>("c1608")->text(), QStringLiteral("Set"));
        QCOMPARE(w.findChild<QLabel*>("c1620")->text(), QStringLiteral("Now"));
        // Same list position, English names; the part stays.
        QCOMPARE(series->currentIndex(), position);
        QCOMPARE(series->currentData().toInt(), 4);
        QCOMPARE(series->currentText(),
                 Utf8(cat::ChooseLanguageVariant(*cat::LookupText(cat::kSeriesList, 4), 0)));
        QCOMPARE(Part(w), part);
        auto* box = w.findChild<QCheckBox*>(QStringLiteral("c%1").arg(1560 + row));
        const auto bit = cat::Part(part).OptionBitAt(row).value();
        QCOMPARE(box->text(), Utf8(bit.name));
        QCOMPARE(box->toolTip(), Utf8(bit.english));

        // Back to Chinese through the operator's menu.
        QAction* chinese = nullptr;
        for (QAction* action : w.languageMenu()->actions()) {
            if (action->data().toInt() == 257) chinese = action;
        }
        QVERIFY(chinese != nullptr);
        QCOMPARE(chinese->text(), QStringLiteral("简体中文"));
        chinese->trigger();
        QCOMPARE(cat::LanguageID(), 1);
        QCOMPARE(Button(w, 1000)->text(), LanguageName(1000));
        QCOMPARE(w.findChild<QLabel*>("c1608")->text(), QStringLiteral("设置"));
        QCOMPARE(box->toolTip(), Utf8(bit.chinese));
        QCOMPARE(series->currentIndex(), position);
        QCOMPARE(Profile().ReadInt("LanguageID", -1), 1);
    }

    void optionPanelWidgetsFollowTheModel() {
        // A part with the HWENW group: ticking and unticking HWENW greys HWWIDL and HWPSx.
        int part = -1;
        for (int i : cat::AllPartIndices()) {
            if (cat::Part(i).Number(cat::key::kHwenwAvailable) != 0) {
                part = i;
                break;
            }
        }
        QVERIFY(part > 0);
        Profile().WriteInt("PartNo", part);
        auto& w = Open();
        QCOMPARE(Part(w), part);
        const auto hwenw = cat::Part(part).Field(cat::key::kHwenwBit).value();
        QCheckBox* hwenwBox = nullptr;
        for (int i = 0; i < 24; ++i) {
            const auto& model = w.bench().panel.setBoxes[static_cast<std::size_t>(i)];
            if (model.enabled && model.byteIndex == hwenw.byteIndex && model.mask == hwenw.mask) {
                hwenwBox = w.findChild<QCheckBox*>(QStringLiteral("c%1").arg(1560 + i));
            }
        }
        QVERIFY(hwenwBox != nullptr);
        auto* hwwidl = w.findChild<QCheckBox*>("c1518");
        auto* hwpsx = Combo(w, 1505);
        for (int round = 0; round < 2; ++round) {
            hwenwBox->click();
            const bool on = hwenwBox->isChecked();
            QCOMPARE(hwwidl->isEnabled(), on);
            QCOMPARE(hwpsx->isEnabled(), on);
            QCOMPARE(hwwidl->isEnabled(), w.bench().panel.hwwidlSet.enabled);
        }
        // Every Set box shows its model.
        for (int i = 0; i < 24; ++i) {
            const auto& model = w.bench().panel.setBoxes[static_cast<std::size_t>(i)];
            auto* box = w.findChild<QCheckBox*>(QStringLiteral("c%1").arg(1560 + i));
            QCOMPARE(box->isChecked(), model.ticked);
            QCOMPARE(box->isEnabled(), model.enabled);
            QVERIFY(!w.findChild<QCheckBox*>(QStringLiteral("c%1").arg(1584 + i))->isEnabled());
        }
        // The ISP list's tooltip follows a choice made in the widget.
        auto* isp = Combo(w, 1503);
        if (isp->isEnabled() && isp->count() > 1) {
            isp->setCurrentIndex(1);
            emit isp->activated(1);
            QCOMPARE(isp->toolTip(), Utf8(w.bench().panel.isp.tooltip));
            QVERIFY(isp->toolTip().endsWith(QStringLiteral("h")));
        }
    }

    void codeBufferEditsKeepTheStatusLineCurrent() {
        if (quadrel_ == nullptr) QSKIP("the hex-grid control library is not built");
        Profile().WriteInt("PartNo", 1);
        auto& w = Open();
        auto* checksum = w.findChild<QLabel*>("c1526");
        auto* filesize = w.findChild<QLabel*>("c1525");
        QCOMPARE(checksum->text(), QString());  // blank right after a part change
        QCOMPARE(filesize->text(), QString());

        const std::uint32_t capacity = cat::Part(1).CodeSize();
        QCOMPARE(w.codeBuffer().Capacity(), capacity);
        w.codeBuffer().SetBytes(std::vector<std::uint8_t>(0x3C00, 0xFF));
        const std::uint32_t kept = std::min<std::uint32_t>(0x3C00, capacity);
        QCOMPARE(filesize->text(),
                 QStringLiteral("%1 (%2h)").arg(kept).arg(QString::number(kept, 16).toUpper()));
        QCOMPARE(checksum->text(),
                 QStringLiteral("%1").arg((kept * 0xFF) & 0xFFFF, 4, 16, QChar(u'0')).toUpper());
        QCOMPARE(w.bench().info.dataLength, kept);

        // An operator's typing in the control: the first byte becomes 0x12.
        QWidget* hex = w.Control(1506);
        hex->setFocus();
        QTest::keyClicks(hex, "12");
        const std::uint32_t sum = (kept - 1) * 0xFF + 0x12;
        QCOMPARE(checksum->text(),
                 QStringLiteral("%1").arg(sum & 0xFFFF, 4, 16, QChar(u'0')).toUpper());
        QCOMPARE(w.bench().info.dataChecksum, static_cast<std::uint16_t>(sum & 0xFFFF));

        // Picking the series already shown changes nothing: same part, same bytes.
        auto* series = Combo(w, 1500);
        const int before = Part(w);
        emit series->activated(series->currentIndex());
        QCOMPARE(Part(w), before);
        QCOMPARE(w.codeBuffer().Size(), kept);
        QCOMPARE(w.bench().info.dataChecksum, static_cast<std::uint16_t>(sum & 0xFFFF));

        // Another part empties the buffer and blanks the status line.
        auto* parts = Combo(w, 1501);
        QVERIFY(parts->count() > 1);
        parts->setCurrentIndex(1);
        emit parts->activated(1);
        QCOMPARE(w.codeBuffer().Size(), 0u);
        QCOMPARE(checksum->text(), QString());
        QCOMPARE(w.codeBuffer().Capacity(), cat::Part(Part(w)).CodeSize());
    }

    void optionRowsLineUpAcrossBothColumns() {
        // The part with the most option rows, so named and empty rows stand side by side.
        int part = 1;
        int most = 0;
        for (int i : cat::AllPartIndices()) {
            int n = 0;
            for (int row = 0; row < 24; ++row) n += cat::Part(i).OptionBitAt(row) ? 1 : 0;
            if (n > most) {
                most = n;
                part = i;
            }
        }
        Profile().WriteInt("PartNo", part);
        auto& w = Open();
        auto box = [&w](int id) { return w.findChild<QCheckBox*>(QStringLiteral("c%1").arg(id)); };
        const int pitch = box(1561)->geometry().center().y() - box(1560)->geometry().center().y();
        QVERIFY(pitch > 0);
        for (int r = 0; r < 12; ++r) {
            const int y = box(1560 + r)->geometry().center().y();
            QCOMPARE(y - box(1560)->geometry().center().y(), r * pitch);  // even rows
            QCOMPARE(box(1572 + r)->geometry().center().y(), y);          // second column
            QCOMPARE(box(1584 + r)->geometry().center().y(), y);          // Now beside Set
            QCOMPARE(box(1596 + r)->geometry().center().y(), y);
        }
    }

    void clearMessageEmptiesTheLog() {
        auto& w = Open();
        w.log().LogAppend("Check ID => ");
        Button(w, 1015)->click();
        QVERIFY(w.log().toPlainText().isEmpty());
    }

    // A file named on the command line with ".." in its path shows as its plain absolute path.
    void commandLineFileShowsAsItsNormalisedPath() {
        QTemporaryDir dir;
        const QString root = QDir(dir.path()).canonicalPath();
        QVERIFY(QDir(root).mkpath(QStringLiteral("work")) &&
                QDir(root).mkpath(QStringLiteral("qrx")));
        QFile file(root + QStringLiteral("/qrx/x.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x02\x00\x30");
        file.close();

        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(root));
        const QString path = app::CommandLineFile({"writer", "work/../qrx/./x.bin"});
        QDir::setCurrent(previous);
        QCOMPARE(path, root + QStringLiteral("/qrx/x.bin"));
        QCOMPARE(app::CommandLineFile({"writer"}), QString());
        // A folder that does not exist is resolved by the text alone.
        QCOMPARE(app::CommandLineFile({"writer", root + "/gone/../qrx/y.bin"}),
                 root + QStringLiteral("/qrx/y.bin"));

        // The area question is answered with the code area.
        testsupport::ModalAnswers answers;
        answers.On<QDialog>([](QDialog* d) { d->accept(); });
        profile_ = std::make_unique<app::Profile>(kApplication);
        window_ = std::make_unique<app::MainWindow>(*profile_);
        window_->Open(path);
        auto* field = window_->findChild<QLabel*>(QStringLiteral("c1524"));
        QVERIFY(field != nullptr);
        QCOMPARE(field->text(), path);
        window_.reset();
    }

  private:
    app::Profile Profile() { return app::Profile(kApplication); }

    app::MainWindow& Open(app::WriterFamilyProbe probe = {}) {
        profile_ = std::make_unique<app::Profile>(kApplication);
        window_ = std::make_unique<app::MainWindow>(*profile_, std::move(probe));
        window_->Open();
        return *window_;
    }

    static QComboBox* Combo(app::MainWindow& w, int id) {
        return w.findChild<QComboBox*>(QStringLiteral("c%1").arg(id));
    }
    static QPushButton* Button(app::MainWindow& w, int id) {
        return w.findChild<QPushButton*>(QStringLiteral("c%1").arg(id));
    }
    static int Part(app::MainWindow& w) { return Combo(w, 1501)->currentData().toInt(); }
    static int FirstOptionRow(int part) {
        for (int i = 0; i < 24; ++i) {
            if (cat::Part(part).OptionBitAt(i)) return i;
        }
        return 0;
    }

    QTemporaryDir settingsDir_;
    void* quadrel_ = nullptr;
    std::unique_ptr<app::Profile> profile_;
    std::unique_ptr<app::MainWindow> window_;
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
