// quadrel-demo: loads libquadrel.so by file name and shows one control configured the way the
// main program configures its code-buffer view. For looking at the control and for screenshots.
//
//   quadrel-demo [--scene selection|mirror|append] [--grab FILE] [--size BYTES]
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCommandLineParser>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/library_loader.h"
#include "platform/quadrel_messages.h"
#include "platform/window_class.h"

using namespace platform;

namespace {

constexpr int kControlId = 1506;

class DemoWindow : public QWidget, public MessageWindow {
  public:
    DemoWindow() {
        auto* layout = new QVBoxLayout(this);
        control_ = CreateWindowByClass(kQuadrelClassName, this, kControlId);
        status_ = new QLabel(this);
        if (control_ != nullptr) layout->addWidget(control_, 1);
        layout->addWidget(status_);
        setWindowTitle(QStringLiteral("quadrel-demo"));
    }

    QWidget* control() const { return control_; }

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM) override {
        if (msg == WM_COMMAND && LowWord(wParam) == kControlId && HighWord(wParam) == EN_CHANGE) {
            ++changes_;
            ShowStatus();
        }
        return 0;
    }

    void ShowStatus() {
        const auto size = SendMessage(control_, QEM_GETDATA, 0, 0);
        const auto sum = static_cast<std::uint32_t>(SendMessage(control_, QEM_CHECKSUM, 0, 0));
        status_->setText(QStringLiteral("Size: %1 bytes   Checksum: %2   Changes: %3")
                             .arg(size)
                             .arg(sum & 0xFFFF, 4, 16, QLatin1Char('0'))
                             .arg(changes_));
    }

  private:
    QWidget* control_ = nullptr;
    QLabel* status_ = nullptr;
    int changes_ = 0;
};

std::vector<std::uint8_t> SampleBytes(int count) {
    static const char kText[] =
        "Hex-grid control demo. The quick brown fox jumps over the lazy dog 0123456789. ";
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int block = i / 256;
        if (block % 3 == 0) {
            bytes[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(kText[i % (sizeof kText - 1)]);
        } else if (block % 3 == 1) {
            bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
        } else {
            bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        }
    }
    return bytes;
}

void Click(QWidget* control, QPoint at) {
    auto* area = qobject_cast<QAbstractScrollArea*>(control);
    QWidget* target = area != nullptr ? area->viewport() : control;
    const QPointF local(at);
    const QPointF global(target->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

void Key(QWidget* control, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(control, &press);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("scene"), QStringLiteral("selection, mirror or append"),
                      QStringLiteral("name")});
    parser.addOption({QStringLiteral("grab"), QStringLiteral("save a picture and quit"),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("size"), QStringLiteral("bytes to show"),
                      QStringLiteral("count"), QStringLiteral("3000")});
    parser.process(app);

    std::string error;
    if (LoadProgramLibrary("libquadrel.so", &error) == nullptr) {
        std::fprintf(stderr, "quadrel-demo: %s\n", error.c_str());
        return 1;
    }
    DemoWindow window;
    QWidget* control = window.control();
    if (control == nullptr) {
        std::fprintf(stderr, "quadrel-demo: window class %s is not registered\n",
                     kQuadrelClassName);
        return 1;
    }

    // The main program's configuration: grey backgrounds, font height 14, address width 4.
    QuadrelColors colors{};
    colors.mask = 0x55;
    colors.addressBackground = colors.hexBackground = colors.characterBackground =
        colors.windowBackground = Rgb(200, 200, 200);
    SendMessage(control, QEM_COLORS, reinterpret_cast<WPARAM>(&colors), 0);
    SendMessage(control, QEM_FONTHEIGHT, 14, 0);
    SendMessage(control, QEM_LAYOUT, 0x00040000, 0);
    const auto bytes = SampleBytes(parser.value(QStringLiteral("size")).toInt());
    SendMessage(control, QEM_SETDATA, reinterpret_cast<WPARAM>(bytes.data()),
                static_cast<LPARAM>(bytes.size()));
    window.ShowStatus();
    window.resize(720, 420);
    window.show();
    window.activateWindow();
    control->setFocus();

    const QString scene = parser.value(QStringLiteral("scene"));
    const QString grab = parser.value(QStringLiteral("grab"));
    QTimer::singleShot(200, [&] {
        if (scene == QLatin1String("selection")) {
            QuadrelRange range{0x25, 0x6A};
            SendMessage(control, QEM_SELECTION, reinterpret_cast<WPARAM>(&range), 0);
        } else if (scene == QLatin1String("mirror")) {
            // A click on the fourth character of the third row activates the character pane.
            auto* area = qobject_cast<QAbstractScrollArea*>(control);
            const QFontMetricsF fm(area != nullptr ? area->viewport()->font() : control->font());
            const int cw =
                static_cast<int>(std::ceil(fm.horizontalAdvance(QLatin1Char('0')) - 0.05));
            const int ch = static_cast<int>(fm.height());
            Click(control, QPoint((3 * 16 + 4 + 7 + 3) * cw + cw / 2, 2 * ch + ch / 2));
        } else if (scene == QLatin1String("append")) {
            Key(control, Qt::Key_End, Qt::ControlModifier);
            Key(control, Qt::Key_Right);
        }
        if (!grab.isEmpty()) {
            QTimer::singleShot(300, [&] {
                window.grab().save(grab);
                app.quit();
            });
        }
    });
    return app.exec();
}
