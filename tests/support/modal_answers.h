// Answers the modal dialogs and popup menus that open while the code under test runs, each kind
// with its own reply, and never waits without a bound. A modal widget still open `patience`
// after it appeared, or after its reply returned (no reply for its kind, or a reply that did not
// close it), fails the running test with a line naming the widget, and is closed so the exec()
// it blocks returns. A widget is replied to each time it comes back on top (after a dialog it
// opened closes), never while its own reply still runs.
//
//   testsupport::ModalAnswers answers;
//   answers.On<QMessageBox>([](QMessageBox* box) { box->accept(); });
//   button->click();  // opens the box; the reply closes it
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <functional>
#include <vector>

class QEvent;
class QFileDialog;
class QMenu;
class QWidget;

namespace testsupport {

class ModalAnswers : public QObject {
  public:
    explicit ModalAnswers(std::chrono::milliseconds patience = std::chrono::seconds(5));
    ~ModalAnswers() override;
    ModalAnswers(const ModalAnswers&) = delete;
    ModalAnswers& operator=(const ModalAnswers&) = delete;

    // Replies to every modal widget of type T. A later rule for the same widget is tried first.
    template <typename T>
    ModalAnswers& On(std::function<void(T*)> reply) {
        rules_.insert(rules_.begin(), [reply](QWidget* w) {
            if (auto* t = qobject_cast<T*>(w)) {
                reply(t);
                return true;
            }
            return false;
        });
        return *this;
    }
    // Lets a modal widget of type T stay open up to `limit` (a progress dialog while its work
    // runs) with no reply.
    template <typename T>
    ModalAnswers& Allow(std::chrono::milliseconds limit) {
        allowances_.push_back({[](QWidget* w) { return qobject_cast<T*>(w) != nullptr; }, limit});
        return *this;
    }
    // Replies to popup menus (a context menu's exec()).
    ModalAnswers& OnMenu(std::function<void(QMenu*)> reply);

    // How many widgets were replied to, and the ones closed for want of an answer.
    int answered() const { return answered_; }
    const QStringList& stray() const { return stray_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Allowance {
        std::function<bool(QWidget*)> matches;
        std::chrono::milliseconds limit;
    };
    void Tick();
    void Reply(QWidget* widget);
    std::chrono::milliseconds PatienceFor(QWidget* widget) const;

    std::chrono::milliseconds patience_;
    std::vector<std::function<bool(QWidget*)>> rules_;
    std::vector<Allowance> allowances_;
    std::function<void(QMenu*)> menuReply_;
    QTimer timer_;
    QPointer<QWidget> current_;                // the modal widget or popup seen on the last tick
    QElapsedTimer since_;                      // since `current_` appeared or its reply returned
    bool replied_ = false;                     // `current_` had its reply
    std::vector<QPointer<QWidget>> replying_;  // widgets whose reply is still running
    int answered_ = 0;
    QStringList stray_;
};

// Class, object name, title and, for a message box, its text: for failure messages.
QString Describe(QWidget* widget);

// Types `path` into a file dialog's name field and accepts it, as an operator would. (Selecting
// the file instead leaves the field alone once the dialog has the keyboard focus, and the
// dialog then opens the folder rather than closing.)
void ChooseFile(QFileDialog* dialog, const QString& path);

}  // namespace testsupport
