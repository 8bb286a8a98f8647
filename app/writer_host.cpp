#include "app/writer_host.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "platform/device/writer_ids.h"

namespace app {

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

WindowWriterHost::WindowWriterHost(QWidget* window, QProgressBar* bar,
                                   std::function<void(bool)> showBar)
    : window_(window), bar_(bar), showBar_(std::move(showBar)) {}

void WindowWriterHost::SetProgressPosition(std::uint32_t position) {
    bar_->setValue(static_cast<int>(position > 100 ? 100 : position));
}

void WindowWriterHost::ShowProgressBar(bool shown) {
    showBar_(shown);
}

void WindowWriterHost::PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (afterPump) afterPump();
}

void WindowWriterHost::Wait(std::uint32_t ms) {
    // The window keeps painting; the operator's input waits until the pause is over.
    QDeadlineTimer deadline(static_cast<qint64>(ms));
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(std::min<qint64>(10, std::max<qint64>(0, deadline.remainingTime())));
    }
}

void WindowWriterHost::Repaint() {
    window_->repaint();
}

QString WriterQuestions::Caption(std::string_view caption) const {
    if (!caption.empty()) return FromUtf8(caption);
    return window_ ? window_->windowTitle() : QString();
}

void WriterQuestions::Inform(std::string_view caption, std::string_view text) {
    // The link's load failure has no owner window; everything else belongs to the window.
    QWidget* owner = caption == "Warning" ? nullptr : window_;
    QMessageBox::information(owner, Caption(caption), FromUtf8(text));
}

bool WriterQuestions::AskOkCancel(std::string_view caption, std::string_view text) {
    return QMessageBox::question(window_, Caption(caption), FromUtf8(text),
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

bool WriterQuestions::AskYesNo(std::string_view caption, std::string_view text) {
    return QMessageBox::question(window_, Caption(caption), FromUtf8(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool UsesVirtualWriter() {
    switch (writer_ids::ConfiguredDeviceChoice()) {
        case writer_ids::DeviceChoice::kVwriter:
            return true;
        case writer_ids::DeviceChoice::kHid:
        case writer_ids::DeviceChoice::kHidPath:
        case writer_ids::DeviceChoice::kHidSerial:
        case writer_ids::DeviceChoice::kNotUnderstood:
            return false;
        case writer_ids::DeviceChoice::kDetect:
            break;
    }
    // Unset: a real writer when one is attached, else the virtual writer's default socket.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/hid/devices", ec)) {
        // Entries are named "BBBB:VVVV:PPPP.NNNN".
        unsigned bus = 0, vid = 0, pid = 0;
        if (std::sscanf(entry.path().filename().c_str(), "%x:%x:%x", &bus, &vid, &pid) == 3 &&
            vid == writer_ids::WRITER_VID &&
            (pid == writer_ids::WRITER_PID || pid == writer_ids::WRITER_ENUM_PID)) {
            return false;
        }
    }
    return std::filesystem::exists(writer_ids::ConfiguredVwriterSocket(), ec);
}

}  // namespace app
