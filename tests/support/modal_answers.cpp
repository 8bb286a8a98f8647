#include "modal_answers.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QtTest>
#include <algorithm>

namespace testsupport {

namespace {

// The widget an operator would have to deal with first: an open popup menu, else the modal
// window on top. A modal widget that is shown but not yet registered as the active modal window
// counts too, so nothing escapes for being early.
QWidget* Blocking() {
    if (QWidget* popup = QApplication::activePopupWidget()) return popup;
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top->isModal()) return top;
    }
    return nullptr;
}

void Close(QWidget* widget) {
    if (auto* dialog = qobject_cast<QDialog*>(widget)) {
        dialog->reject();
    } else {
        widget->close();
    }
}

}  // namespace

ModalAnswers::ModalAnswers(std::chrono::milliseconds patience) : patience_(patience) {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &ModalAnswers::Tick);
    timer_.start();
}

ModalAnswers::~ModalAnswers() = default;

ModalAnswers& ModalAnswers::OnMenu(std::function<void(QMenu*)> reply) {
    menuReply_ = std::move(reply);
    return *this;
}

std::chrono::milliseconds ModalAnswers::PatienceFor(QWidget* widget) const {
    for (const Allowance& allowance : allowances_) {
        if (allowance.matches(widget)) return allowance.limit;
    }
    return patience_;
}

void ModalAnswers::Tick() {
    QWidget* blocking = Blocking();
    if (blocking == nullptr || !blocking->isVisible()) {
        current_ = nullptr;
        return;
    }
    if (std::find(replying_.begin(), replying_.end(), blocking) != replying_.end()) return;
    if (blocking != current_) {
        current_ = blocking;
        blocking->installEventFilter(this);  // a menu or dialog shown again is new again
        since_.start();
        replied_ = false;
    }
    if (!replied_) {
        replied_ = true;
        // Replied from the event loop rather than inside this tick: a reply may open a box of
        // its own, which this answerer must still see.
        QMetaObject::invokeMethod(
            this,
            [this, w = QPointer<QWidget>(blocking)] {
                if (w) Reply(w);
            },
            Qt::QueuedConnection);
        return;
    }
    if (since_.elapsed() < PatienceFor(blocking).count()) return;
    const QString what = Describe(blocking);
    stray_ << what;
    QTest::qFail(qPrintable(QStringLiteral("no answer closed %1 within %2 ms")
                                .arg(what)
                                .arg(PatienceFor(blocking).count())),
                 __FILE__, __LINE__);
    current_ = nullptr;
    Close(blocking);
}

bool ModalAnswers::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide && watched == current_) current_ = nullptr;
    return false;
}

void ModalAnswers::Reply(QWidget* widget) {
    replying_.emplace_back(widget);
    if (auto* menu = qobject_cast<QMenu*>(widget)) {
        if (menuReply_) {
            ++answered_;
            menuReply_(menu);
        }
    } else {
        for (const auto& rule : rules_) {
            if (rule(widget)) {
                ++answered_;
                break;
            }
        }
    }
    std::erase_if(replying_, [widget](const QPointer<QWidget>& w) { return !w || w == widget; });
    if (current_ == widget) since_.restart();
}

QString Describe(QWidget* widget) {
    QString text = QString::fromLatin1(widget->metaObject()->className());
    if (!widget->objectName().isEmpty())
        text += QStringLiteral(" \"%1\"").arg(widget->objectName());
    if (!widget->windowTitle().isEmpty())
        text += QStringLiteral(" titled \"%1\"").arg(widget->windowTitle());
    if (auto* box = qobject_cast<QMessageBox*>(widget))
        text += QStringLiteral(" saying \"%1\"").arg(box->text());
    return text;
}

void ChooseFile(QFileDialog* dialog, const QString& path) {
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY2(name != nullptr, "the file dialog has no file-name field");
    name->setText(path);
    QMetaObject::invokeMethod(dialog, "accept");  // a protected slot
}

}  // namespace testsupport
