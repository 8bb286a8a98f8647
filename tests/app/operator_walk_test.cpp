// An operator's walk through the real main window, offscreen: parts of every series, every entry
// of every option list, every option box, both languages, files loaded through the dialogs,
// typing and clicking in the code buffer, and every button. After each step the status line must
// describe the bytes the control really holds, and composing the option bytes then showing them
// again must leave the panel as it was.
#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <functional>
#include <memory>
#include <set>

#include "app/dialogs/actions.h"
#include "app/dialogs/file_dialogs.h"
#include "app/hex_entry_field.h"
#include "app/main_window.h"
#include "app/profile.h"
#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "catalogue/part_order.h"
#include "modal_answers.h"
#include "platform/library_loader.h"
#include "project/qrx_file.h"
#include "workbench/file_actions.h"

// A failed invariant ends the test function there rather than piling up follow-on failures.
#define CHECK_STEP(w, step)                     \
    do {                                        \
        Check(w, step);                         \
        if (QTest::currentTestFailed()) return; \
    } while (false)

namespace {

const QString kApplication = QStringLiteral("writer-walk-test");

// Answers whatever modal dialog the window opens, the way the test tells it to.
class DialogAnswerer {
  public:
    QString ispPath;                // the operator's own ISP code; empty: the built-in one
    int menuItem = -1;              // the context-menu entry chosen; -1 closes the menu
    std::uint32_t areaAddress = 0;  // 0: AP (code), otherwise IAP (data) at this address
    QStringList messages;           // texts of the message boxes answered

    DialogAnswerer() {
        // Later rules are tried first: the catch-alls go in first.
        answers_.On<QWidget>([](QWidget* w) { w->close(); })
            .On<QDialog>([](QDialog* d) { d->accept(); })
            .On<QFileDialog>([](QFileDialog* f) { f->reject(); })
            .On<QMessageBox>([this](QMessageBox* box) {
                messages << box->text();
                box->done(box->buttons().isEmpty() ? 0
                                                   : box->standardButton(box->buttons().first()));
            })
            .On<app::dialogs::SelectAreaDialog>([this](app::dialogs::SelectAreaDialog* area) {
                if (areaAddress != 0) {
                    area->iapButton()->click();
                    area->addressField()->setText(QString::number(areaAddress, 16));
                }
                area->accept();
            })
            .On<app::dialogs::InsertIspDialog>([this](app::dialogs::InsertIspDialog* isp) {
                // Back on top after a refused insert (its box answered): give up on it.
                if (isp == lastIsp_) {
                    isp->reject();
                    return;
                }
                lastIsp_ = isp;
                if (!ispPath.isEmpty()) {
                    isp->userButton()->click();
                    isp->chooseFile = [this](const QString&) { return ispPath; };
                    isp->browseButton()->click();
                }
                isp->insertButton()->click();
            });
        answers_.OnMenu([this](QMenu* menu) {
            const auto actions = menu->actions();
            QAction* chosen =
                menuItem >= 0 && menuItem < actions.size() ? actions[menuItem] : nullptr;
            if (chosen != nullptr && chosen->isEnabled() && !chosen->isSeparator()) {
                menu->setActiveAction(chosen);
                QTest::keyClick(menu, Qt::Key_Return);
            } else {
                menu->close();
            }
        });
    }

    int answered() const { return answers_.answered(); }

  private:
    testsupport::ModalAnswers answers_;
    QPointer<QWidget> lastIsp_;
};

}  // namespace

class OperatorWalkTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(settingsDir_.isValid());
        QVERIFY(files_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
        quadrel_ = platform::LoadProgramLibrary("libquadrel.so");
        if (quadrel_ == nullptr) QSKIP("the hex-grid control library is not built");
        cat::InitLanguageFromProductInfo();
    }

    void cleanup() { window_.reset(); }

    void everyOptionOfEveryPartKeepsThePanelAndBytesInStep() {
        auto& w = Open();
        QVERIFY(SampledParts().size() >= 10);
        // Cheap enough to walk every part of the catalogue here.
        for (const int part : cat::AllPartIndices()) {
            SelectPart(w, part);
            QCOMPARE(w.bench().currentPart, part);
            QCOMPARE(w.codeBuffer().Capacity(), cat::Part(part).CodeSize());
            CHECK_STEP(w, "part chosen");
            for (int id : {1503, 1504, 1502, 1505}) {
                QComboBox* list = Combo(w, id);
                if (!list->isEnabled()) continue;
                // ISP changes refill the IAP list, so the count is read each time round.
                for (int position = 0; position < list->count(); ++position) {
                    ChooseByKeys(list, position);
                    QCOMPARE(list->currentIndex(), position);
                    CHECK_STEP(w, "list entry chosen");
                }
            }
            // The wheel over every list, and a letter typed into the part list.
            for (int id : {1503, 1504, 1502, 1505}) {
                QComboBox* list = Combo(w, id);
                for (int turn : {-120, -120, 120}) {
                    const QPointF at(list->width() / 2.0, list->height() / 2.0);
                    QWheelEvent wheel(at, list->mapToGlobal(at), QPoint(), QPoint(0, turn),
                                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                    QApplication::sendEvent(list, &wheel);
                    CHECK_STEP(w, "wheel over a list");
                }
            }
            QTest::keyClicks(Combo(w, 1501), "z");
            CHECK_STEP(w, "letter in the part list");
            SelectPart(w, part);
            auto* hwwidl = w.findChild<QCheckBox*>("c1518");
            if (hwwidl->isEnabled()) {
                ClickBox(hwwidl);
                CHECK_STEP(w, "HWWIDL clicked");
            }
            for (int round = 0; round < 2; ++round) {
                for (int i = 0; i < 24; ++i) {
                    auto* box = w.findChild<QCheckBox*>(QStringLiteral("c%1").arg(1560 + i));
                    const bool before = box->isChecked();
                    ClickBox(box);
                    if (box->isEnabled()) QCOMPARE(box->isChecked(), !before);
                    CHECK_STEP(w, "option box clicked");
                }
            }
            w.SystemCommand(256);
            CHECK_STEP(w, "English");
            QCOMPARE(w.bench().currentPart, part);
            TriggerLanguage(w, 257);
            CHECK_STEP(w, "Chinese");
            QCOMPARE(w.bench().currentPart, part);
        }
    }

    void optionBytesFromElsewhereSettleAfterOneCompose() {
        // Bytes a project from another tool or a chip may carry: whatever the panel makes of
        // them, composing and showing again must then be stable.
        auto& w = Open();
        std::uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return static_cast<std::uint8_t>(seed >> 16);
        };
        for (const int part : cat::AllPartIndices()) {
            SelectPart(w, part);
            for (int round = 0; round < 12; ++round) {
                for (auto& b : w.bench().info.optionBytes) {
                    b = round == 0 ? 0x00 : round == 1 ? 0xFF : next();
                }
                w.bench().panel.ShowOptionBytes();
                w.bench().NotifyChanged(model::kChangeOptionPanel);
                CHECK_STEP(w, "foreign option bytes");
                // The same bytes as read back from a chip, whole or cut short.
                const auto count =
                    static_cast<std::size_t>(cat::Part(part).Number(cat::key::kOptionCount));
                const std::span<const std::uint8_t> chip(w.bench().info.optionBytes.data(),
                                                         std::min<std::size_t>(count, 260));
                w.bench().ShowChipOptions(chip.first(round == 2 ? chip.size() / 2 : chip.size()));
                for (int i = 0; i < 24; ++i) {
                    const auto* now = w.findChild<QCheckBox*>(QStringLiteral("c%1").arg(1584 + i));
                    QVERIFY(!now->isEnabled());
                    if (!w.findChild<QCheckBox*>(QStringLiteral("c%1").arg(1560 + i))->isEnabled())
                        QVERIFY(!now->isChecked());
                }
                CHECK_STEP(w, "chip options shown");
            }
        }
    }

    void filesLoadedThroughTheDialogsShowTheirBytes() {
        auto& w = Open();
        DialogAnswerer answer;
        for (const int part : SampledParts()) {
            SelectPart(w, part);
            const std::uint32_t size = cat::Part(part).CodeSize();
            // A binary at the start of code space.
            Load(w, Write("code.bin", Pattern(std::min<std::uint32_t>(size, 0x300), 7)));
            QVERIFY2(w.log().toPlainText().contains(QStringLiteral("OK !")),
                     qPrintable(w.log().toPlainText()));
            QCOMPARE(w.codeBuffer().Bytes().size(), std::size_t{0x300});
            CHECK_STEP(w, "binary loaded");

            // A HEX file with a gap, placed as data when the part has room above its code.
            answer.areaAddress = size > 0x1000 ? 0x800 : 0;
            Load(w, Write("code.hex", ":0400000001020304F2\n:02001000AABB89\n:00000001FF\n"));
            answer.areaAddress = 0;
            QVERIFY(w.log().toPlainText().contains(QStringLiteral("OK !")));
            CHECK_STEP(w, "hex loaded");

            // Files that load nothing or are refused leave a truthful status line.
            Load(w, Write("empty.bin", QByteArray()));
            CHECK_STEP(w, "empty file");
            const std::uint32_t most = std::max(size, cat::Part(part).MaxLoadSize());
            Load(w, Write("huge.bin", QByteArray(int(most) + 1, 'x')));
            QVERIFY(w.log().toPlainText().contains(QStringLiteral("Fail !")));
            CHECK_STEP(w, "too large");
            Load(w, Write("bad.hex", ":zz\n:0100000"));
            CHECK_STEP(w, "bad hex");
            Load(w, files_.filePath("missing.bin"));
            QVERIFY(w.log().toPlainText().contains(QStringLiteral("Fail !")));
            CHECK_STEP(w, "missing file");

            // The operator's own ISP codes: empty, HEX, the largest space and one byte more.
            const auto spaces = cat::Part(part).Choices(cat::key::kIspList);
            const std::uint32_t largest = spaces.empty() ? 0 : spaces.back().value;
            for (const auto& [name, bytes] : std::vector<std::pair<const char*, QByteArray>>{
                     {"user-empty.bin", {}},
                     {"user-empty.hex", {}},
                     {"user.hex", ":0400000001020304F2\n:00000001FF\n"},
                     {"user-largest.bin", Pattern(largest, 11)},
                     {"user-over.bin", Pattern(largest + 1, 13)}}) {
                Load(w, Write("under-user.bin", Pattern(0x80, 2)));
                const auto before = w.codeBuffer().Bytes();
                answer.ispPath = Write(name, bytes);
                Button(w, 1004)->click();
                answer.ispPath.clear();
                if (w.log().toPlainText().contains(QStringLiteral("Fail !"))) {
                    QCOMPARE(w.codeBuffer().Bytes(), before);
                }
                CHECK_STEP(w, name);
            }
            Load(w, Write("code.bin", Pattern(std::min<std::uint32_t>(size, 0x300), 7)));

            // Insert the built-in ISP code, save a project, load it back on another part.
            Button(w, 1004)->click();
            CHECK_STEP(w, "ISP code inserted");
            const std::vector<std::uint8_t> saved = w.codeBuffer().Bytes();
            const QString project = files_.filePath("saved.qrx");
            QFile::remove(project);
            if (saved.empty()) continue;
            QVERIFY(model::WriteProjectFile(w.bench(), project.toStdString(),
                                           proj::CurrentSaveMoment()));
            CHECK_STEP(w, "project saved");
            const auto options = w.bench().info.optionBytes;
            SelectPart(w, OtherPart(part));
            Load(w, project);
            QVERIFY2(w.log().toPlainText().contains(QStringLiteral("OK !")),
                     qPrintable(w.log().toPlainText()));
            QCOMPARE(w.bench().currentPart, part);
            QCOMPARE(w.codeBuffer().Bytes(), saved);
            const auto count = cat::Part(part).Number(cat::key::kOptionCount);
            for (std::uint32_t i = 0; i < count && i < 16; ++i) {
                QCOMPARE(w.bench().info.optionBytes[i], options[i]);
            }
            CHECK_STEP(w, "project loaded");
        }
        // A project cut short at many lengths is refused without harm.
        QFile qrx(files_.filePath("saved.qrx"));
        if (qrx.open(QIODevice::ReadOnly)) {
            const QByteArray whole = qrx.readAll();
            for (qsizetype cut = 0; cut < whole.size(); cut += cut < 200 ? 1 : 97) {
                Load(w, Write("cut.qrx", whole.left(cut)));
                CHECK_STEP(w, "cut project");
            }
        }
    }

    void typingAndClickingInTheCodeBuffer() {
        auto& w = Open();
        DialogAnswerer answer;
        auto* hex = qobject_cast<QAbstractScrollArea*>(w.Control(1506));
        QVERIFY(hex != nullptr);
        for (const int part : SampledParts()) {
            SelectPart(w, part);
            hex->setFocus();
            // An empty buffer: every key is harmless.
            for (Qt::Key key :
                 {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,
                  Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End}) {
                QTest::keyClick(hex, key);
                CHECK_STEP(w, "key in an empty buffer");
            }
            QTest::keyClicks(hex, "12ab3");
            CHECK_STEP(w, "hex digits typed");
            // The nibble that comes next is kept across a new part, so the count varies.
            QVERIFY(w.codeBuffer().Size() >= 3);

            Load(w, Write("walk.bin",
                          Pattern(std::min<std::uint32_t>(cat::Part(part).CodeSize(), 0x1234), 3)));
            CHECK_STEP(w, "file loaded");
            hex->setFocus();
            QTest::keyClick(hex, Qt::Key_Home, Qt::ControlModifier);
            QTest::keyClick(hex, Qt::Key_Backspace);  // at offset 0
            CHECK_STEP(w, "Backspace at 0");
            QTest::keyClick(hex, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(hex, Qt::Key_Delete);  // at the end
            QTest::keyClicks(hex, "f0");           // typed past the end
            CHECK_STEP(w, "typed at the end");
            for (Qt::Key key :
                 {Qt::Key_PageUp, Qt::Key_PageUp, Qt::Key_Left, Qt::Key_Up, Qt::Key_PageDown,
                  Qt::Key_Right, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Tab, Qt::Key_Tab}) {
                QTest::keyClick(hex, key);
                QTest::keyClick(hex, key, Qt::ShiftModifier);
                CHECK_STEP(w, "moved");
            }
            QTest::keyClicks(hex, "9Zq");
            CHECK_STEP(w, "mixed typing");

            // Select all, copy, paste over it, paste again at the end, delete everything.
            QTest::keyClick(hex, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(hex, Qt::Key_C, Qt::ControlModifier);
            const std::vector<std::uint8_t> before = w.codeBuffer().Bytes();
            QTest::keyClick(hex, Qt::Key_V, Qt::ControlModifier);
            CHECK_STEP(w, "pasted over everything");
            QCOMPARE(w.codeBuffer().Bytes(), before);
            QTest::keyClick(hex, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(hex, Qt::Key_V, Qt::ControlModifier);
            CHECK_STEP(w, "pasted at the end");
            QVERIFY(w.codeBuffer().Size() <= cat::Part(part).CodeSize());
            QApplication::clipboard()->setText(QStringLiteral("not bytes \xff\x01"));
            QTest::keyClick(hex, Qt::Key_V, Qt::ControlModifier);
            CHECK_STEP(w, "foreign clipboard pasted");
            QTest::keyClick(hex, Qt::Key_X, Qt::ControlModifier);
            CHECK_STEP(w, "cut");

            // The mouse in both panes, with and without Shift, and far beyond the data.
            QWidget* view = hex->viewport();
            for (int y : {1, view->height() / 3, view->height() - 2, view->height() + 40}) {
                for (int x : {1, view->width() / 5, view->width() / 2, view->width() * 3 / 4,
                              view->width() - 2, view->width() + 40}) {
                    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(x, y));
                    QTest::keyClicks(hex, "5");
                    QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, QPoint(y, x));
                    CHECK_STEP(w, "clicked");
                }
            }
            QTest::keyClick(hex, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(hex, Qt::Key_Delete);
            CHECK_STEP(w, "all deleted");
            QTest::keyClick(hex, Qt::Key_Backspace);
            QTest::keyClicks(hex, "7");
            CHECK_STEP(w, "typed into an emptied buffer");

            // Every context-menu entry, opened from the keyboard and with the mouse.
            QTest::keyClicks(hex, "0102030405");
            for (int item = -1; item < 9; ++item) {
                answer.menuItem = item;
                QTest::keyClick(hex, Qt::Key_Left, Qt::ShiftModifier);
                QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(0, 0),
                                           hex->mapToGlobal(QPoint(0, 0)));
                QApplication::sendEvent(hex, &keyboard);
                CHECK_STEP(w, "context menu from the keyboard");
                const QPoint far(hex->viewport()->width() - 1, hex->viewport()->height() - 1);
                QContextMenuEvent mouse(QContextMenuEvent::Mouse, far,
                                        hex->viewport()->mapToGlobal(far));
                QApplication::sendEvent(hex->viewport(), &mouse);
                CHECK_STEP(w, "context menu with the mouse");
            }
            answer.menuItem = -1;

            // A buffer filled to the part's capacity: typing, pasting and the wheel at the end.
            const std::uint32_t capacity = cat::Part(part).CodeSize();
            const std::uint32_t maxLoad = cat::Part(part).MaxLoadSize();
            const std::uint32_t full = maxLoad != 0 ? std::min(capacity, maxLoad) : capacity;
            Load(w, Write("full.bin", Pattern(full, 5)));
            CHECK_STEP(w, "full buffer");
            QCOMPARE(w.codeBuffer().Size(), full);
            hex->setFocus();
            QTest::keyClick(hex, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(hex, Qt::Key_Right);
            QTest::keyClick(hex, Qt::Key_PageDown);
            QTest::keyClicks(hex, "abcd");
            CHECK_STEP(w, "typed at a full end");
            QTest::keyClick(hex, Qt::Key_Home, Qt::ControlModifier);
            QTest::keyClick(hex, Qt::Key_C, Qt::ControlModifier);
            QTest::keyClick(hex, Qt::Key_V, Qt::ControlModifier);
            CHECK_STEP(w, "pasted into a full buffer");
            if (full == capacity) QCOMPARE(w.codeBuffer().Size(), capacity);
            for (int turn : {-1200, 600, 120000, -120000}) {
                QWheelEvent wheel(QPointF(20, 20), hex->mapToGlobal(QPointF(20, 20)), QPoint(),
                                  QPoint(0, turn), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                                  false);
                QApplication::sendEvent(hex->viewport(), &wheel);
            }
            w.resize(w.width() + 200, w.height() + 150);
            QTest::mouseClick(hex->viewport(), Qt::LeftButton, {},
                              QPoint(hex->viewport()->width() - 3, hex->viewport()->height() - 3));
            QTest::keyClicks(hex, "e");
            w.resize(w.width() - 200, w.height() - 150);
            CHECK_STEP(w, "wheel, resize and a click at the bottom");

            // The built-in ISP code into an emptied buffer, then a binary beneath it.
            QTest::keyClick(hex, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(hex, Qt::Key_Delete);
            Button(w, 1004)->click();
            CHECK_STEP(w, "ISP code alone");
            Load(w, Write("under.bin", Pattern(0x40, 9)));
            CHECK_STEP(w, "binary under the ISP code");
        }
    }

    void everyButtonOfTheWindow() {
        auto& w = Open();
        DialogAnswerer answer;
        for (const int part : SampledParts()) {
            SelectPart(w, part);
            Load(w, Write("b.bin", Pattern(0x100, 1)));
            CHECK_STEP(w, "loaded");
            const auto bytes = w.codeBuffer().Bytes();
            const auto options = w.bench().info.optionBytes;
            const int dialogsBefore = answer.answered();
            // The writer operations: no writer here, nothing to change and nothing to answer.
            for (int id : {1003, 1006, 1007, 1008, 1009, 1010, 1012, 1013, 1014}) {
                auto* button = Button(w, id);
                QVERIFY2(button != nullptr, qPrintable(QString::number(id)));
                QTest::mouseClick(button, Qt::LeftButton);
                QCOMPARE(w.codeBuffer().Bytes(), bytes);
                CHECK_STEP(w, "writer button");
            }
            QCOMPARE(answer.answered(), dialogsBefore);
            // Configure Auto and Off-Line Mode open their dialogs, which are closed unrun.
            for (int id : {1005, 1011}) {
                QTest::mouseClick(Button(w, id), Qt::LeftButton);
                QCOMPARE(w.codeBuffer().Bytes(), bytes);
                CHECK_STEP(w, "dialog button");
            }
            QCOMPARE(w.bench().info.optionBytes, options);
            // Save *.QRX with Ctrl held opens the empty form list, which the answerer closes.
            QTest::mouseClick(Button(w, 1002), Qt::LeftButton, Qt::ControlModifier);
            CHECK_STEP(w, "Ctrl + Save QRX");
            // The file buttons with every file dialog cancelled.
            for (int id : {1000, 1001, 1002}) {
                QTest::mouseClick(Button(w, id), Qt::LeftButton);
                QCOMPARE(w.codeBuffer().Bytes(), bytes);
                CHECK_STEP(w, "cancelled");
            }
            // The language button's menu, one language and back.
            auto* language = w.findChild<QPushButton*>(QStringLiteral("language"));
            for (int item : {0, 1, -1}) {
                answer.menuItem = item;
                QTest::mouseClick(language, Qt::LeftButton);
                if (item >= 0) QCOMPARE(cat::LanguageID(), item);
                CHECK_STEP(w, "language from the button");
            }
            QCOMPARE(w.bench().currentPart, part);
            QTest::mouseClick(Button(w, 1015), Qt::LeftButton);
            QVERIFY(w.log().toPlainText().isEmpty());
            // Escape and Enter on the window do not close it.
            QTest::keyClick(&w, Qt::Key_Escape);
            QTest::keyClick(&w, Qt::Key_Return);
            QVERIFY(w.isVisible());
        }
        QTest::mouseClick(Button(w, 2), Qt::LeftButton);
        QVERIFY(!w.isVisible());
    }

  private:
    app::MainWindow& Open() {
        QSettings(QSettings::NativeFormat, QSettings::UserScope,
                  "Local AppWizard-Generated Applications", kApplication)
            .clear();
        cat::InitLanguageFromProductInfo();
        profile_ = std::make_unique<app::Profile>(kApplication);
        window_ = std::make_unique<app::MainWindow>(*profile_);
        window_->Open();
        window_->bench().panel.SetChipOptionsFile(files_.filePath("~temp.dat").toStdString());
        return *window_;
    }

    // The first and last part of every series, and the first part with each special trait.
    static std::vector<int> SampledParts() {
        std::set<int> chosen;
        for (const auto& series : cat::OrderedSeries(1)) {
            const auto parts = cat::OrderedParts(series.series);
            if (parts.empty()) continue;
            chosen.insert(parts.front());
            chosen.insert(parts.back());
        }
        auto firstWith = [&chosen](const std::function<bool(const cat::Part&)>& trait) {
            for (int i : cat::AllPartIndices()) {
                if (trait(cat::Part(i))) {
                    chosen.insert(i);
                    return true;
                }
            }
            return false;
        };
        using cat::key::kHwenwAvailable, cat::key::kIapAvailable, cat::key::kOptionCount,
            cat::key::kOscAvailable, cat::key::kIspAvailable;
        firstWith([](const cat::Part& p) { return p.Number(kOptionCount) >= 64; });
        firstWith([](const cat::Part& p) { return p.CodeSize() == 0x10000; });
        firstWith([](const cat::Part& p) {
            return p.CodeSize() == 0x10000 && p.Number(kIapAvailable) != 0;
        });
        firstWith([](const cat::Part& p) { return p.Number(kOscAvailable) != 0; });
        firstWith([](const cat::Part& p) { return p.Number(kHwenwAvailable) != 0; });
        firstWith([](const cat::Part& p) { return p.Number(kIapAvailable) == 0; });
        firstWith([](const cat::Part& p) {
            return p.Number(kIspAvailable) != 0 && p.Number(kIapAvailable) == 0;
        });
        firstWith([](const cat::Part& p) {
            const auto iap = p.Field(cat::key::kIapField);
            return iap && iap->mask == 0xFE;
        });
        firstWith([](const cat::Part& p) {
            const auto isp = p.Field(cat::key::kIspField);
            return isp && isp->mask == 0xE2;
        });
        return {chosen.begin(), chosen.end()};
    }

    static int OtherPart(int part) {
        for (int i : cat::AllPartIndices()) {
            if (i != part) return i;
        }
        return part;
    }

    static QComboBox* Combo(app::MainWindow& w, int id) {
        return w.findChild<QComboBox*>(QStringLiteral("c%1").arg(id));
    }
    static QPushButton* Button(app::MainWindow& w, int id) {
        return w.findChild<QPushButton*>(QStringLiteral("c%1").arg(id));
    }

    // Moves a list to `position` with the keyboard, as an operator without a mouse would.
    static void ChooseByKeys(QComboBox* list, int position) {
        list->setFocus();
        if (list->currentIndex() < 0 || list->currentIndex() > position) {
            QTest::keyClick(list, Qt::Key_Home);
        }
        if (list->currentIndex() < 0) {  // nothing selected: Down picks the first entry
            QTest::keyClick(list, Qt::Key_Down);
        }
        while (list->currentIndex() < position) {
            const int was = list->currentIndex();
            QTest::keyClick(list, Qt::Key_Down);
            if (list->currentIndex() == was) break;
        }
    }

    static void SelectPart(app::MainWindow& w, int part) {
        QComboBox* series = Combo(w, 1500);
        const int seriesPosition = series->findData(cat::Part(part).Series());
        QVERIFY(seriesPosition >= 0);
        if (series->currentIndex() != seriesPosition) {
            series->setCurrentIndex(seriesPosition);
            emit series->activated(seriesPosition);
        }
        QComboBox* parts = Combo(w, 1501);
        const int partPosition = parts->findData(part);
        QVERIFY(partPosition >= 0);
        parts->setCurrentIndex(partPosition);
        emit parts->activated(partPosition);
    }

    static void ClickBox(QCheckBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }

    static void TriggerLanguage(app::MainWindow& w, int command) {
        for (QAction* action : w.languageMenu()->actions()) {
            if (action->data().toInt() == command) action->trigger();
        }
    }

    // A file loaded as the program loads one named at start-up; the area dialog is answered.
    static void Load(app::MainWindow& w, const QString& path) {
        app::dialogs::LoadFileAtStartup(&w, w.bench(), path);
    }

    QString Write(const char* name, const QByteArray& bytes) {
        const QString path = files_.filePath(QString::fromLatin1(name));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
        return path;
    }

    static QByteArray Pattern(std::uint32_t size, int step) {
        QByteArray bytes(static_cast<qsizetype>(size), '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * step + 1);
        return bytes;
    }

    struct PanelState {
        std::vector<int> selections;
        std::vector<int> counts;
        std::vector<bool> flags;
        bool operator==(const PanelState&) const = default;
    };

    static PanelState Panel(app::MainWindow& w) {
        PanelState s;
        for (int id : {1502, 1503, 1504, 1505}) {
            s.selections.push_back(Combo(w, id)->currentIndex());
            s.counts.push_back(Combo(w, id)->count());
            s.flags.push_back(Combo(w, id)->isEnabled());
        }
        for (int id = 1560; id < 1584; ++id) {
            auto* box = w.findChild<QCheckBox*>(QStringLiteral("c%1").arg(id));
            s.flags.push_back(box->isChecked());
            s.flags.push_back(box->isEnabled());
        }
        auto* hwwidl = w.findChild<QCheckBox*>("c1518");
        s.flags.push_back(hwwidl->isChecked());
        s.flags.push_back(hwwidl->isEnabled());
        return s;
    }

    static QString Describe(const PanelState& s) {
        QString text;
        for (std::size_t i = 0; i < s.selections.size(); ++i) {
            text += QStringLiteral("%1/%2 ").arg(s.selections[i]).arg(s.counts[i]);
        }
        for (bool f : s.flags) text += f ? u'1' : u'0';
        return text;
    }

    // The invariants every step must keep.
    static void Check(app::MainWindow& w, const char* step) {
        QVERIFY2(w.isVisible(), step);
        const std::vector<std::uint8_t> bytes = w.codeBuffer().Bytes();
        QVERIFY2(bytes.size() <= w.codeBuffer().Capacity() || w.codeBuffer().Capacity() == 0, step);
        const QString size = w.findChild<QLabel*>("c1525")->text();
        const QString sum = w.findChild<QLabel*>("c1526")->text();
        if (size.isEmpty()) {
            QVERIFY2(bytes.empty(), step);
            QVERIFY2(sum.isEmpty(), step);
        } else {
            std::uint32_t total = 0;
            for (std::uint8_t b : bytes) total += b;
            const auto n = static_cast<qulonglong>(bytes.size());
            QCOMPARE(size, QStringLiteral("%1 (%2h)").arg(n).arg(QString::number(n, 16).toUpper()));
            QCOMPARE(sum, QStringLiteral("%1").arg(total & 0xFFFF, 4, 16, QChar(u'0')).toUpper());
            QCOMPARE(w.bench().info.dataLength, static_cast<std::uint32_t>(bytes.size()));
        }

        const PanelState before = Panel(w);
        w.bench().ComposeOptionBytes();
        const auto composed = w.bench().info.optionBytes;
        w.bench().panel.ShowOptionBytes();
        w.bench().NotifyChanged(model::kChangeOptionPanel);
        const PanelState after = Panel(w);
        QVERIFY2(after == before, qPrintable(QStringLiteral("%1 (part %2): %3 became %4")
                                                 .arg(QString::fromLatin1(step))
                                                 .arg(w.bench().currentPart)
                                                 .arg(Describe(before), Describe(after))));
        w.bench().ComposeOptionBytes();
        QVERIFY2(w.bench().info.optionBytes == composed, step);
    }

    QTemporaryDir settingsDir_;
    QTemporaryDir files_;
    void* quadrel_ = nullptr;
    std::unique_ptr<app::Profile> profile_;
    std::unique_ptr<app::MainWindow> window_;
};

QTEST_MAIN(OperatorWalkTest)
#include "operator_walk_test.moc"
