// The main window: part selection, code buffer, option panel, message log and status line.
// Its state lives in a model::Workbench; the widgets mirror it and forward the operator's events.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/message_log.h"
#include "app/profile.h"
#include "app/quadrel_buffer.h"
#include "app/writer_host.h"
#include "platform/window_class.h"
#include "workbench/workbench.h"
#include "writer/writer.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

namespace app {

// Asks an attached writer for its firmware family; none when connecting fails. Unset: the
// window's own writer link asks.
using WriterFamilyProbe = std::function<std::optional<std::uint32_t>()>;

class MainWindow : public QWidget, public platform::MessageWindow {
    Q_OBJECT
  public:
    MainWindow(Profile& profile, WriterFamilyProbe probe = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // False when the code buffer control cannot be created (its class is not registered).
    bool CodeBufferCreated() const { return hexControl_ != nullptr; }

    // The opening steps, then shows the window. `commandLinePath` is loaded when not empty.
    void Open(const QString& commandLinePath = {});

    // The language switch (system commands 256 + language id).
    void SystemCommand(int command);
    void ApplyLanguage();

    // Exit: stores the selected part in the profile and closes the window.
    void Exit();

    model::Workbench& bench() { return bench_; }
    MessageLog& log() { return *log_; }
    QuadrelBuffer& codeBuffer() { return buffer_; }
    QWidget* Control(int id) const;
    bool busy() const { return writer_->busy; }
    writer::Writer& writerSide() { return *writer_; }
    WindowWriterHost& writerHost() { return *writerHost_; }
    QMenu* languageMenu() const { return languageMenu_; }

    // The progress bar stands in the file path's place during a writer operation.
    void ShowProgress(bool shown);

    platform::LRESULT WindowProc(platform::UINT msg, platform::WPARAM wParam,
                                 platform::LPARAM lParam) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void BuildWindow();
    QWidget* BuildPartRow();
    QWidget* BuildCodeBufferRow();
    QGroupBox* BuildOptionGroup();
    QGroupBox* BuildMessageGroup();
    QWidget* BuildStatusLine();
    QPushButton* MakeButton(int id);
    QLabel* MakeLabel(int id, const QString& text = {});
    QLabel* MakeNowText(int id);
    QComboBox* MakeList(int id);
    void Register(int id, QWidget* widget);
    void BuildLanguageMenu();
    void ConnectEvents();
    void LoadBanner();

    void ApplyLanguageText(int key);
    void Mirror(unsigned changes);
    void MirrorOptionPanel();
    void MirrorStatusLine();
    void SaveProfile();
    void BuildWriterSide();
    void OnWriterButton(int id);
    void TellWhyNotStarted(const core::Outcome& outcome);
    // False while the writer is busy: every control that changes the workbench is disabled.
    bool Live() const;
    void MirrorBusy();

    Profile& profile_;
    WriterFamilyProbe probe_;
    model::Workbench bench_;
    QuadrelBuffer buffer_;
    std::map<int, QWidget*> controls_;

    QLabel* banner_ = nullptr;
    QComboBox* seriesList_ = nullptr;
    QComboBox* partList_ = nullptr;
    QPushButton* languageButton_ = nullptr;
    QMenu* languageMenu_ = nullptr;
    QWidget* hexControl_ = nullptr;
    MessageLog* log_ = nullptr;
    QLabel* filepath_ = nullptr;
    QProgressBar* progress_ = nullptr;
    std::unique_ptr<WindowWriterHost> writerHost_;
    std::unique_ptr<WriterQuestions> writerQuestions_;
    std::unique_ptr<writer::WriterLink> link_;
    std::unique_ptr<writer::Writer> writer_;  // its busy flag is set until start-up ends
};

}  // namespace app
