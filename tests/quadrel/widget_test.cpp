// The control as a program sees it: libquadrel.so loaded by file name, a window created by class
// name and driven with messages, keys and mouse events, offscreen.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>
#include <QtTest>
#include <cmath>
#include <random>
#include <vector>

#include "modal_answers.h"
#include "platform/library_loader.h"
#include "platform/quadrel_messages.h"
#include "platform/window_class.h"

using namespace platform;

namespace {

constexpr int kId = 1506;

class Parent : public QWidget, public MessageWindow {
  public:
    int changes = 0;
    int lastSize = -1;
    QWidget* lastSender = nullptr;
    int lastId = 0;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_COMMAND && HighWord(wParam) == EN_CHANGE) {
            ++changes;
            lastId = LowWord(wParam);
            lastSender = WindowFromLParam(lParam);
            // Like the main program: read the size back while handling the notification.
            lastSize = static_cast<int>(SendMessage(lastSender, QEM_GETDATA, 0, 0));
        }
        return 0;
    }
};

struct Cell {
    int w;
    int h;
};

QWidget* Viewport(QWidget* control) {
    auto* area = qobject_cast<QAbstractScrollArea*>(control);
    return area != nullptr ? area->viewport() : control;
}

Cell CellOf(QWidget* control) {
    const QFontMetricsF fm(Viewport(control)->font());
    return {static_cast<int>(std::ceil(fm.horizontalAdvance(QLatin1Char('0')) - 0.05)),
            static_cast<int>(fm.height())};
}

void SendMouse(QWidget* control, QEvent::Type type, QPoint at, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* vp = Viewport(control);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(at), QPointF(vp->mapToGlobal(at)), button, buttons, mods);
    QApplication::sendEvent(vp, &e);
}

void Click(QWidget* control, QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    SendMouse(control, QEvent::MouseButtonPress, at, Qt::LeftButton, mods);
    SendMouse(control, QEvent::MouseButtonRelease, at, Qt::NoButton, mods);
}

}  // namespace

class QuadrelWidgetTest : public QObject {
    Q_OBJECT

  private:
    Parent* parent_ = nullptr;
    QWidget* control_ = nullptr;

    LRESULT Send(UINT msg, WPARAM w = 0, LPARAM l = 0) { return SendMessage(control_, msg, w, l); }
    void SetBytes(const std::vector<std::uint8_t>& b, QWidget* c = nullptr) {
        SendMessage(c ? c : control_, QEM_SETDATA, reinterpret_cast<WPARAM>(b.data()),
                    static_cast<LPARAM>(b.size()));
    }
    std::vector<std::uint8_t> Bytes(QWidget* c = nullptr) {
        c = c ? c : control_;
        std::vector<std::uint8_t> out(static_cast<std::size_t>(SendMessage(c, QEM_GETDATA, 0, 0)));
        if (!out.empty()) {
            SendMessage(c, QEM_GETDATA, reinterpret_cast<WPARAM>(out.data()),
                        static_cast<LPARAM>(out.size()));
        }
        return out;
    }
    QuadrelRange Selection(QWidget* c = nullptr) {
        QuadrelRange r{-1, -1};
        SendMessage(c ? c : control_, QEM_SELECTION, reinterpret_cast<WPARAM>(&r), 1);
        return r;
    }
    void Select(int a, int c) {
        QuadrelRange r{a, c};
        Send(QEM_SELECTION, reinterpret_cast<WPARAM>(&r), 0);
    }
    // Pixel point of a cell column in a row (address width 2, no scrolling).
    QPoint At(int column, int row) {
        const Cell c = CellOf(control_);
        return QPoint(column * c.w + c.w / 2, row * c.h + c.h / 2);
    }
    static int HexCol(int k) { return 2 + 5 + 3 * k; }
    static int CharCol(int k) { return 3 * 16 + 2 + 7 + k; }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(control_, static_cast<Qt::Key>(key), mods);
    }

  private slots:
    void initTestCase() {
        std::string error;
        QVERIFY2(LoadProgramLibrary("libquadrel.so", &error) != nullptr, error.c_str());
        QVERIFY(IsWindowClassRegistered(kQuadrelClassName));
        // Loading again is harmless and the name stays taken.
        QVERIFY(LoadProgramLibrary("libquadrel.so") != nullptr);
        QVERIFY(!RegisterWindowClass(kQuadrelClassName,
                                     [](QWidget*, int) -> QWidget* { return nullptr; }));
        QVERIFY(CreateWindowByClass("NO-SUCH-CLASS", nullptr, 1) == nullptr);
    }

    void init() {
        parent_ = new Parent;
        auto* layout = new QVBoxLayout(parent_);
        control_ = CreateWindowByClass(kQuadrelClassName, parent_, kId);
        QVERIFY(control_ != nullptr);
        QCOMPARE(ControlId(control_), kId);
        layout->addWidget(control_);
        parent_->resize(760, 300);
        parent_->show();
        QVERIFY(QTest::qWaitForWindowExposed(parent_));
        parent_->activateWindow();
        control_->setFocus();
        QApplication::processEvents();
    }

    void cleanup() {
        delete parent_;
        parent_ = nullptr;
        control_ = nullptr;
    }

    void notifiesTheParentWithIdAndHandle() {
        SetBytes({1, 2, 3});
        QCOMPARE(parent_->changes, 1);
        QCOMPARE(parent_->lastId, kId);
        QCOMPARE(parent_->lastSender, control_);
        QCOMPARE(parent_->lastSize, 3);
        const std::uint8_t more[] = {4};
        Send(QEM_APPEND, reinterpret_cast<WPARAM>(more), 1);
        Send(QEM_CAPACITY, 2);
        Select(0, 1);
        Send(QEM_LAYOUT, 0x00040000);
        Send(QEM_FONTHEIGHT, 14);
        QCOMPARE(parent_->changes, 1);
        Key(Qt::Key_Delete);
        QCOMPARE(parent_->changes, 2);
        QCOMPARE(parent_->lastSize, 0);
    }

    void typingInBothPanes() {
        SetBytes({0x00, 0xFF, 0x00});
        parent_->changes = 0;
        Click(control_, At(HexCol(0), 0));
        QTest::keyClicks(control_, "41");
        QCOMPARE(Bytes()[0], std::uint8_t{0x41});
        QCOMPARE(Selection().end, 1);
        QTest::keyClicks(control_, "Zq");  // not hex digits
        QCOMPARE(Bytes()[1], std::uint8_t{0xFF});
        QCOMPARE(parent_->changes, 2);

        Click(control_, At(CharCol(1), 0));
        QTest::keyClicks(control_, "Zq");
        QCOMPARE(Bytes(), (std::vector<std::uint8_t>{0x41, 'Z', 'q'}));
        QCOMPARE(Selection().end, 3);  // onto the append position
        QTest::keyClicks(control_, "!");
        QCOMPARE(Bytes().size(), std::size_t{4});
        QCOMPARE(parent_->changes, 5);
        // Enter, Tab and Backspace act as keys, they never store control codes.
        Key(Qt::Key_Return);
        Key(Qt::Key_Tab);
        QCOMPARE(Bytes().size(), std::size_t{4});
    }

    void keyTable() {
        std::vector<std::uint8_t> bytes(100);
        SetBytes(bytes);
        Select(2, 2);
        Key(Qt::Key_Right, Qt::ShiftModifier);
        Key(Qt::Key_Right, Qt::ShiftModifier);
        Key(Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(Selection().start, 2);
        QCOMPARE(Selection().end, 5);
        Key(Qt::Key_Left, Qt::ControlModifier);  // does nothing at all
        QCOMPARE(Selection().start, 2);
        QCOMPARE(Selection().end, 5);
        Key(Qt::Key_Left);
        QCOMPARE(Selection().start, 4);
        QCOMPARE(Selection().end, 4);
        Key(Qt::Key_PageDown);
        Key(Qt::Key_PageDown);
        QCOMPARE(Selection().end, 100);
        Key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(Selection().end, 0);
        Key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(Selection().end, 99);
        Key(Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(Selection().start, 0);
        QCOMPARE(Selection().end, 99);
        Key(Qt::Key_Down, Qt::ShiftModifier);  // Shift keeps the anchor
        QCOMPARE(Selection().start, 0);
        Key(Qt::Key_End);  // no movement, collapses
        QCOMPARE(Selection().start, 99);
        Key(Qt::Key_Backspace);
        QCOMPARE(Bytes().size(), std::size_t{99});
        QCOMPARE(Selection().end, 98);
        Select(0, 0);
        Key(Qt::Key_Backspace);
        QCOMPARE(Bytes().size(), std::size_t{99});
    }

    void mouseClicksAndDrags() {
        std::vector<std::uint8_t> bytes(40);
        SetBytes(bytes);
        Click(control_, At(HexCol(2) + 2, 0));  // the blank after byte 2
        QCOMPARE(Selection().end, 3);
        Click(control_, At(HexCol(2) + 1, 0));  // low digit of byte 2: typing sets the low half
        QTest::keyClicks(control_, "7");
        QCOMPARE(Bytes()[2], std::uint8_t{0x07});
        Click(control_, At(1, 1));  // the address of row 1
        QCOMPARE(Selection().end, 16);
        Click(control_, At(CharCol(15), 2));  // right of the short last row
        QCOMPARE(Selection().end, 39);

        SendMouse(control_, QEvent::MouseButtonPress, At(HexCol(1), 0), Qt::LeftButton);
        SendMouse(control_, QEvent::MouseMove, At(HexCol(4), 1), Qt::LeftButton);
        QCOMPARE(Selection().start, 1);
        QCOMPARE(Selection().end, 20);
        // Far outside the control while the button is held: the selection follows, bounded.
        SendMouse(control_, QEvent::MouseMove, QPoint(5000, 5000), Qt::LeftButton);
        QCOMPARE(Selection().end, 39);
        SendMouse(control_, QEvent::MouseButtonRelease, QPoint(-3000, -3000), Qt::NoButton);
        QCOMPARE(Selection().start, 1);
        QCOMPARE(Selection().end, 0);
        SendMouse(control_, QEvent::MouseMove, At(HexCol(9), 2), Qt::NoButton);
        QCOMPARE(Selection().end, 0);

        Click(control_, At(HexCol(5), 0), Qt::ShiftModifier);
        QCOMPARE(Selection().start, 1);
        QCOMPARE(Selection().end, 5);

        // The same drag in the character pane, ending left of the panes' gap.
        SendMouse(control_, QEvent::MouseButtonPress, At(CharCol(2), 0), Qt::LeftButton);
        SendMouse(control_, QEvent::MouseMove, At(CharCol(5), 1), Qt::LeftButton);
        SendMouse(control_, QEvent::MouseButtonRelease, At(CharCol(5), 1), Qt::NoButton);
        QCOMPARE(Selection().start, 2);
        QCOMPARE(Selection().end, 21);
        QTest::keyClicks(control_, "k");  // typed as a character, not a digit
        QCOMPARE(Bytes()[21], std::uint8_t{'k'});
    }

    void clicksWithNoData() {
        Click(control_, At(HexCol(3), 4));
        Click(control_, QPoint(-10, -10));
        Click(control_, At(CharCol(3), 0));
        QCOMPARE(Selection().start, 0);
        QCOMPARE(Selection().end, 0);
        QTest::keyClicks(control_, "A");  // the character pane is active after the last click
        QCOMPARE(Bytes(), (std::vector<std::uint8_t>{'A'}));
    }

    void aClickOnAnEmptyHexPaneStartsAWholeByte() {
        Click(control_, At(HexCol(3) + 1, 2));  // a low digit's cell, but there is no byte yet
        QTest::keyClicks(control_, "7F");
        QCOMPARE(Bytes(), (std::vector<std::uint8_t>{0x7F}));
        QCOMPARE(Selection().end, 1);
    }

    void contextMenuGreysAndCarriesOutItsCommand() {
        SetBytes({1, 2, 3, 4});
        QStringList seen;
        auto openMenu = [&](const QString& choose) {
            seen.clear();
            testsupport::ModalAnswers answers;
            answers.OnMenu([&seen, choose](QMenu* menu) {
                for (QAction* a : menu->actions()) {
                    if (a->isSeparator()) {
                        seen << QStringLiteral("-");
                        continue;
                    }
                    seen << a->text() + (a->isEnabled() ? QString() : QStringLiteral(" (grey)"));
                    if (a->text() == choose) menu->setActiveAction(a);
                }
                if (choose.isEmpty()) {
                    menu->close();
                } else {
                    QTest::keyClick(menu, Qt::Key_Return);
                }
            });
            QWidget* vp = Viewport(control_);
            QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5),
                                vp->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(vp, &e);
        };
        openMenu(QString());
        QCOMPARE(seen, (QStringList{"Cu&t (grey)", "&Copy (grey)", "&Paste", "Cl&ear (grey)", "-",
                                    "Select A&ll", "Clear &All (grey)"}));
        openMenu(QStringLiteral("Select A&ll"));
        QCOMPARE(Selection().start, 0);
        QCOMPARE(Selection().end, 3);
        Send(QEM_READONLY, 1);
        openMenu(QString());
        QCOMPARE(seen, (QStringList{"Cu&t (grey)", "&Copy", "&Paste (grey)", "Cl&ear (grey)", "-",
                                    "Select A&ll", "Clear &All (grey)"}));
        Send(QEM_READONLY, 0);
        openMenu(QStringLiteral("Clear &All"));
        QCOMPARE(Bytes().size(), std::size_t{0});
    }

    void clipboardRoundTripBetweenTwoControls() {
        QWidget* other = CreateWindowByClass(kQuadrelClassName, parent_, kId + 1);
        parent_->layout()->addWidget(other);
        QApplication::processEvents();
        SetBytes({0x10, 0x20, 0x30, 0x40, 0x50});
        Select(1, 3);
        Key(Qt::Key_C, Qt::ControlModifier);
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        QVERIFY(mime != nullptr);
        QCOMPARE(mime->data(QStringLiteral("HexDataFormat")), QByteArray("\x20\x30\x40"));
        QCOMPARE(mime->text(), QStringLiteral("20 30 40"));

        SetBytes({0xAA, 0xBB}, other);
        other->setFocus();
        QTest::keyClick(other, Qt::Key_Right);
        QTest::keyClick(other, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Bytes(other), (std::vector<std::uint8_t>{0xAA, 0x20, 0x30, 0x40, 0xBB}));

        // Plain text from elsewhere is not pasted.
        QGuiApplication::clipboard()->setText(QStringLiteral("20 30"));
        SendMessage(other, WM_COMMAND, ID_EDIT_PASTE, 0);
        QCOMPARE(Bytes(other).size(), std::size_t{5});
        // Cut moves the bytes.
        control_->setFocus();
        Select(0, 1);
        Key(Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(Bytes(), (std::vector<std::uint8_t>{0x30, 0x40, 0x50}));
        QCOMPARE(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("HexDataFormat")),
                 QByteArray("\x10\x20"));
    }

    void emptyControlPaintsOnlyItsBackground() {
        QWidget* bare = CreateWindowByClass(kQuadrelClassName, nullptr, 7);
        QuadrelColors c{};
        c.mask = 0xFF;
        c.windowBackground = Rgb(10, 200, 30);
        c.addressBackground = c.hexBackground = c.characterBackground = Rgb(1, 2, 3);
        c.selectionFrame = Rgb(255, 0, 0);
        SendMessage(bare, QEM_COLORS, reinterpret_cast<WPARAM>(&c), 0);
        bare->resize(400, 200);
        const QImage image = Viewport(bare)->grab().toImage();
        QVERIFY(!image.isNull());
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                QCOMPARE(image.pixelColor(x, y), QColor(10, 200, 30));
            }
        }
        delete bare;
    }

    void paintsMirrorCellAndOutlineInTheirColours() {
        QWidget* bare = CreateWindowByClass(kQuadrelClassName, nullptr, 7);
        bare->resize(700, 200);
        const std::vector<std::uint8_t> bytes(64, 0x20);
        SetBytes(bytes, bare);
        const Cell cell = CellOf(bare);
        auto count = [&](const QImage& img, QRect r, QColor colour) {
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y) {
                for (int x = r.left(); x <= r.right(); ++x) n += img.pixelColor(x, y) == colour;
            }
            return n;
        };
        // Caret on byte 1, hex pane active: the character cell of byte 1 is drawn in black.
        QuadrelRange r{1, 1};
        SendMessage(bare, QEM_SELECTION, reinterpret_cast<WPARAM>(&r), 0);
        QImage img = Viewport(bare)->grab().toImage();
        const QRect mirror(CharCol(1) * cell.w, 0, cell.w, cell.h);
        QCOMPARE(count(img, mirror, Qt::black), cell.w * cell.h);
        QCOMPARE(count(img, mirror.translated(cell.w, 0), Qt::black), 0);
        // A selection draws blue outlines instead and no mirror.
        r = {1, 5};
        SendMessage(bare, QEM_SELECTION, reinterpret_cast<WPARAM>(&r), 0);
        img = Viewport(bare)->grab().toImage();
        QCOMPARE(count(img, mirror, Qt::black), 0);
        const QRect topEdge(HexCol(1) * cell.w, 0, (HexCol(5) + 2 - HexCol(1)) * cell.w, 1);
        QCOMPARE(count(img, topEdge, Qt::blue), topEdge.width());
        const QRect charTop(CharCol(1) * cell.w, 0, 5 * cell.w, 1);
        QCOMPARE(count(img, charTop, Qt::blue), charTop.width());
        delete bare;
    }

    // Where text, caret and outline land in pixels: rows 0 to 2 of 40 bytes, the selection 14 to
    // 30 made by a click and a Shift+click on byte 30's low digit.
    void glyphsCaretAndOutlineLandOnTheirCells() {
        std::vector<std::uint8_t> bytes(40);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(0x41 + i);
        SetBytes(bytes);
        Click(control_, At(HexCol(14), 0));
        Click(control_, At(HexCol(14) + 1, 1), Qt::ShiftModifier);
        QCOMPARE(Selection().start, 14);
        QCOMPARE(Selection().end, 30);
        QVERIFY(control_->hasFocus());
        const QImage img = Viewport(control_)->grab().toImage();
        const Cell cell = CellOf(control_);
        // Share of near-black pixels in a cell; blue outline pixels are not counted.
        auto dark = [&](int column, int row) {
            int n = 0;
            for (int y = row * cell.h; y < (row + 1) * cell.h; ++y) {
                for (int x = column * cell.w; x < (column + 1) * cell.w; ++x) {
                    const QColor c = img.pixelColor(x, y);
                    n += c.red() < 100 && c.green() < 100 && c.blue() < 100;
                }
            }
            return double(n) / (cell.w * cell.h);
        };
        const struct {
            int row, k;
        } shown[] = {{0, 0}, {0, 7}, {0, 15}, {1, 0}, {1, 9}, {2, 0}, {2, 7}};
        for (const auto& b : shown) {
            const QString where = QStringLiteral("row %1 byte %2").arg(b.row).arg(b.k);
            QVERIFY2(dark(HexCol(b.k), b.row) > 0, qPrintable(where));
            QVERIFY2(dark(HexCol(b.k) + 1, b.row) > 0, qPrintable(where));
            QVERIFY2(dark(HexCol(b.k) + 2, b.row) == 0, qPrintable(where));  // the blank after
            QVERIFY2(dark(CharCol(b.k), b.row) > 0, qPrintable(where));
        }
        for (int row : {0, 1, 2}) {
            QCOMPARE(dark(HexCol(0) - 1, row), 0.0);
            QCOMPARE(dark(CharCol(0) - 1, row), 0.0);
        }
        QCOMPARE(dark(HexCol(8), 2), 0.0);  // past the short last row
        QCOMPARE(dark(CharCol(8), 2), 0.0);

        // The caret inverts the low digit's cell of byte 30, not the cells beside it.
        QVERIFY(dark(HexCol(14) + 1, 1) > 0.5);
        QVERIFY(dark(HexCol(14), 1) < 0.5);
        QCOMPARE(dark(HexCol(14) + 2, 1), 0.0);

        // The outline: top edge of row 0 from byte 14 to the row end, left edge of row 1 at the
        // row start, in both panes; nothing blue just outside them.
        auto blue = [&](int x, int y) { return img.pixelColor(x, y) == QColor(Qt::blue); };
        for (int x = HexCol(14) * cell.w; x < (HexCol(15) + 2) * cell.w; ++x) QVERIFY(blue(x, 0));
        for (int x = CharCol(14) * cell.w; x < CharCol(16) * cell.w; ++x) QVERIFY(blue(x, 0));
        QVERIFY(!blue(HexCol(14) * cell.w - 1, 0));
        QVERIFY(!blue(CharCol(14) * cell.w - 1, 0));
        for (int y = cell.h + 1; y < 2 * cell.h - 1; ++y) {
            QVERIFY(blue(HexCol(0) * cell.w, y));
            QVERIFY(blue(CharCol(0) * cell.w, y));
            QVERIFY(!blue(HexCol(0) * cell.w - 1, y));
            QVERIFY(!blue(CharCol(0) * cell.w - 1, y));
        }
    }

    void tabEnterAndEscapeStayWithTheControlInADialog() {
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        QWidget* hex = CreateWindowByClass(kQuadrelClassName, &dialog, 9);
        auto* edit = new QLineEdit(&dialog);
        auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        layout->addWidget(hex);
        layout->addWidget(edit);
        layout->addWidget(ok);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.activateWindow();
        hex->setFocus();
        QApplication::processEvents();
        QVERIFY(hex->hasFocus());
        QTest::keyClick(hex, Qt::Key_Tab);
        QVERIFY(hex->hasFocus());
        QTest::keyClick(hex, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(hex->hasFocus());
        QTest::keyClick(hex, Qt::Key_Return);
        QTest::keyClick(hex, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), 0);
        // Outside the control the dialog keeps its usual keys.
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(dialog.result(), static_cast<int>(QDialog::Accepted));
    }

    void windowShortcutsGetOnlyTheKeysTheControlLeaves() {
        SetBytes({1, 2, 3});
        int opened = 0, deleted = 0;
        auto* open = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), parent_);
        auto* del = new QShortcut(QKeySequence(Qt::Key_Delete), parent_);
        connect(open, &QShortcut::activated, [&opened] { ++opened; });
        connect(del, &QShortcut::activated, [&deleted] { ++deleted; });
        Key(Qt::Key_O, Qt::ControlModifier);
        Key(Qt::Key_Delete);
        QCOMPARE(opened, 1);
        QCOMPARE(deleted, 0);
        QCOMPARE(Bytes().size(), std::size_t{2});
    }

    void fontHeightFollowsTheSignConvention() {
        // Positive: the cell (row) height; negative: the character height, so rows are taller.
        QCOMPARE(Send(QEM_FONTHEIGHT, 20), LRESULT{20});
        const int cellRow = CellOf(control_).h;
        QVERIFY2(cellRow <= 20 && cellRow >= 16, qPrintable(QString::number(cellRow)));
        QCOMPARE(Send(QEM_FONTHEIGHT, static_cast<WPARAM>(-20)), LRESULT{-20});
        const int charRow = CellOf(control_).h;
        QVERIFY2(charRow > 20, qPrintable(QString::number(charRow)));
        QCOMPARE(Send(QEM_FONTHEIGHT, 0, 1), LRESULT{-20});
        // The rows of a paint follow the new height.
        auto* area = qobject_cast<QAbstractScrollArea*>(control_);
        std::vector<std::uint8_t> bytes(4096);
        SetBytes(bytes);
        QCOMPARE(area->verticalScrollBar()->pageStep(),
                 (area->viewport()->height() + charRow - 1) / charRow);
    }

    void wheelScrollsOnePagePerNotch() {
        std::vector<std::uint8_t> bytes(4096);
        SetBytes(bytes);
        auto* area = qobject_cast<QAbstractScrollArea*>(control_);
        QScrollBar* bar = area->verticalScrollBar();
        QCOMPARE(bar->value(), 0);
        const int page = bar->pageStep();
        QVERIFY(page > 1);
        QWidget* vp = Viewport(control_);
        QWheelEvent down(QPointF(10, 10), QPointF(vp->mapToGlobal(QPoint(10, 10))), QPoint(),
                         QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &down);
        QCOMPARE(bar->value(), page);
        // The scroll bar's own controls go through the same scroll codes.
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(bar->value(), page + 1);
        bar->triggerAction(QAbstractSlider::SliderToMinimum);  // not a code the control acts on
        QCOMPARE(bar->value(), page + 1);
        Send(WM_VSCROLL, SB_PAGEUP);
        QCOMPARE(bar->value(), 1);
    }

    void scrollBarsTakeTheWheelAndTheMenuOfTheControl() {
        std::vector<std::uint8_t> bytes(4096);
        SetBytes(bytes);
        auto* area = qobject_cast<QAbstractScrollArea*>(control_);
        QScrollBar* bar = area->verticalScrollBar();
        const int page = bar->pageStep();
        int expected = 0;
        for (QScrollBar* over : {area->verticalScrollBar(), area->horizontalScrollBar()}) {
            QWheelEvent down(QPointF(2, 2), QPointF(over->mapToGlobal(QPoint(2, 2))), QPoint(),
                             QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                             false);
            QApplication::sendEvent(over, &down);
            expected += page;
            QCOMPARE(bar->value(), expected);
        }

        // A right click on a scroll bar opens the control's own menu.
        for (QScrollBar* over : {area->verticalScrollBar(), area->horizontalScrollBar()}) {
            QStringList seen;
            testsupport::ModalAnswers answers;
            answers.OnMenu([&seen](QMenu* menu) {
                for (QAction* a : menu->actions()) {
                    if (!a->isSeparator()) seen << a->text();
                }
                menu->close();
            });
            QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(2, 2),
                                over->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(over, &e);
            QCOMPARE(seen, (QStringList{"Cu&t", "&Copy", "&Paste", "Cl&ear", "Select A&ll",
                                        "Clear &All"}));
        }
    }

    void randomEventsKeepTheInvariants() {
        std::mt19937 rng(7);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        static const int kKeys[] = {Qt::Key_Left,   Qt::Key_Right,     Qt::Key_Up,   Qt::Key_Down,
                                    Qt::Key_PageUp, Qt::Key_PageDown,  Qt::Key_Home, Qt::Key_End,
                                    Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Tab,  Qt::Key_A,
                                    Qt::Key_C,      Qt::Key_V,         Qt::Key_X,    Qt::Key_7,
                                    Qt::Key_F,      Qt::Key_Return};
        const Cell cell = CellOf(control_);
        for (int step = 0; step < 3000; ++step) {
            switch (pick(0, 9)) {
                case 0: {
                    std::vector<std::uint8_t> b(static_cast<std::size_t>(pick(0, 600)));
                    SetBytes(b);
                    break;
                }
                case 1:
                    Send(QEM_CAPACITY, static_cast<WPARAM>(pick(0, 700)));
                    break;
                case 2:
                    Send(QEM_LAYOUT, MakeWParam(static_cast<std::uint16_t>(pick(0, 40)), 0));
                    break;
                case 3:
                    Select(pick(-5, 700), pick(-5, 700));
                    break;
                case 4:
                    Click(control_, QPoint(pick(-50, 800), pick(-50, 300)),
                          pick(0, 3) == 0 ? Qt::ShiftModifier : Qt::NoModifier);
                    break;
                case 5:
                    Send(WM_COMMAND, static_cast<WPARAM>(pick(0xE120, 0xE12A)));
                    break;
                case 6:
                    // Window sizes down to nothing and fonts of either sign: the paint must
                    // keep its texts and caret inside whatever client area results.
                    if (pick(0, 1) == 0) {
                        parent_->resize(pick(1, 900), pick(1, 500));
                    } else {
                        Send(QEM_FONTHEIGHT, static_cast<WPARAM>(pick(-40, 40)));
                    }
                    QApplication::processEvents();
                    break;
                case 7: {
                    QWidget* vp = Viewport(control_);
                    QWheelEvent wheel(QPointF(5, 5), QPointF(vp->mapToGlobal(QPoint(5, 5))),
                                      QPoint(), QPoint(0, pick(-240, 240)), Qt::NoButton,
                                      Qt::NoModifier, Qt::NoScrollPhase, false);
                    QApplication::sendEvent(vp, &wheel);
                    break;
                }
                default: {
                    Qt::KeyboardModifiers mods;
                    if (pick(0, 3) == 0) mods |= Qt::ShiftModifier;
                    if (pick(0, 4) == 0) mods |= Qt::ControlModifier;
                    const int key = kKeys[pick(0, 17)];
                    QTest::keyClick(control_, static_cast<Qt::Key>(key), mods);
                    break;
                }
            }
            const int size = static_cast<int>(Send(QEM_GETDATA));
            const int capacity = static_cast<int>(Send(QEM_CAPACITY, 0, 1));
            const QuadrelRange sel = Selection();
            QVERIFY2(size >= 0 && size <= capacity, qPrintable(QString::number(step)));
            QVERIFY2(sel.end >= 0 && sel.end <= size, qPrintable(QString::number(step)));
            QVERIFY2(sel.start >= 0 && sel.start <= size, qPrintable(QString::number(step)));
            if (step % 25 == 0) Viewport(control_)->grab();  // paint whatever state this is
        }
        Q_UNUSED(cell);
    }
};

QTEST_MAIN(QuadrelWidgetTest)
#include "widget_test.moc"
