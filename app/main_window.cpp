#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/control_ids.h"
#include "app/dialogs/actions.h"
#include "app/dialogs/auto_dialog.h"
#include "app/dialogs/dialog_controls.h"
#include "app/dialogs/offline_dialog.h"
#include "app/dialogs/upgrade_dialog.h"
#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "platform/library_loader.h"
#include "platform/quadrel_messages.h"

// The window's icon lives in a resource file of a static library, which must be pulled in.
static void InitWriterResources() {
    Q_INIT_RESOURCE(writer);
}

namespace app {

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void SetControlText(QWidget* widget, const QString& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(text);
    }
}

// Copies a list model into a drop-down list without raising the list's own signals. `live` is
// false while an operation runs: then nothing that changes the workbench takes input.
void MirrorList(QComboBox* box, const model::ListModel& list, bool live) {
    const QSignalBlocker block(box);
    bool same = box->count() == list.Count();
    for (int i = 0; same && i < list.Count(); ++i) {
        const auto& entry = list.entries()[static_cast<std::size_t>(i)];
        same = box->itemText(i) == FromUtf8(entry.text) &&
               box->itemData(i).toLongLong() == static_cast<qlonglong>(entry.value);
    }
    if (!same) {
        box->clear();
        for (const auto& entry : list.entries()) {
            box->addItem(FromUtf8(entry.text), QVariant::fromValue<qlonglong>(entry.value));
        }
    }
    box->setCurrentIndex(list.Selected());
    box->setEnabled(list.enabled && live);
    box->setToolTip(FromUtf8(list.tooltip));
}

void MirrorCheck(QCheckBox* box, const model::CheckModel& check, bool live) {
    const QSignalBlocker block(box);
    box->setText(FromUtf8(check.text));
    box->setChecked(check.ticked);
    box->setEnabled(check.enabled && live);
    box->setToolTip(FromUtf8(check.tooltip));
}

void MirrorText(QLabel* label, const model::TextModel& text) {
    label->setText(FromUtf8(text.text));
    label->setEnabled(text.enabled);
}

constexpr int kButtonWidth = 112;

}  // namespace

MainWindow::MainWindow(Profile& profile, WriterFamilyProbe probe, QWidget* parent)
    : QWidget(parent), profile_(profile), probe_(std::move(probe)) {
    InitWriterResources();
    setAttribute(Qt::WA_AlwaysShowToolTips);  // tips whether or not the window is active
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(12);
    setFont(font);
    BuildWindow();
    bench_.Attach(&buffer_, log_);
    bench_.onChanged = [this](unsigned changes) { Mirror(changes); };
    BuildWriterSide();
    ConnectEvents();
}

void MainWindow::BuildWriterSide() {
    writerHost_ = std::make_unique<WindowWriterHost>(this, progress_,
                                                     [this](bool shown) { ShowProgress(shown); });
    writerQuestions_ = std::make_unique<WriterQuestions>(this);
    link_ = std::make_unique<writer::WriterLink>(*writerHost_);
    writer_ =
        std::make_unique<writer::Writer>(bench_, *link_, *writerHost_, *log_, *writerQuestions_);
    writer_->busy.onChange = [this](bool) { MirrorBusy(); };
    writer_->busy = true;  // until the window has opened
    link_->Load(*writerQuestions_);
    dialogs::InstallDfuUpgrade(this, *writer_);
}

void MainWindow::OnWriterButton(int id) {
    if (id == id::kAuto) {
        dialogs::OpenAutoDialog(this, bench_.info.autoSteps, [this](std::uint8_t mask) {
            TellWhyNotStarted(writer_->RunAuto(mask));
        });
        return;
    }
    TellWhyNotStarted(writer_->OnButton(id));
}

void MainWindow::TellWhyNotStarted(const core::Outcome& outcome) {
    // Without a writer nothing is said, as ever; a reason there is goes into a box.
    if (outcome.notStarted() && !outcome.why().empty()) writerQuestions_->Inform("", outcome.why());
}

bool MainWindow::Live() const {
    return !writer_ || !writer_->busy;
}

void MainWindow::MirrorBusy() {
    Mirror(model::kChangeSeriesList | model::kChangePartList | model::kChangeOptionPanel);
    const bool live = Live();
    languageButton_->setEnabled(live);
    if (hexControl_ != nullptr) hexControl_->setEnabled(live);
    for (int id = id::kLoadFile; id <= id::kOffLine; ++id) Control(id)->setEnabled(live);
}

MainWindow::~MainWindow() {
    writer_.reset();
    link_.reset();
    bench_.onChanged = nullptr;
    bench_.Attach(nullptr, nullptr);
    // The control goes first, while this window can still take its messages.
    buffer_.SetControl(nullptr);
    delete hexControl_;
    hexControl_ = nullptr;
}

QWidget* MainWindow::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void MainWindow::Register(int id, QWidget* widget) {
    controls_[id] = widget;
    dialogs::RegisterControl(widget, id);
}

QPushButton* MainWindow::MakeButton(int id) {
    auto* button = new QPushButton(this);
    button->setAutoDefault(false);
    button->setMinimumWidth(kButtonWidth);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    Register(id, button);
    return button;
}

QLabel* MainWindow::MakeLabel(int id, const QString& text) {
    auto* label = new QLabel(text, this);
    Register(id, label);
    return label;
}

QLabel* MainWindow::MakeNowText(int id) {
    auto* label = new QLabel(this);
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    label->setMinimumWidth(56);
    label->setAlignment(Qt::AlignCenter);
    Register(id, label);
    return label;
}

QComboBox* MainWindow::MakeList(int id) {
    auto* box = new QComboBox(this);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    box->setMinimumContentsLength(6);
    Register(id, box);
    return box;
}

void MainWindow::BuildWindow() {
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(8, 6, 8, 4);
    top->setSpacing(6);

    banner_ = new QLabel(this);
    banner_->setAlignment(Qt::AlignCenter);
    Register(id::kBanner, banner_);
    top->addWidget(banner_);

    top->addWidget(BuildPartRow());
    top->addWidget(BuildCodeBufferRow(), 3);

    auto* lower = new QHBoxLayout;
    lower->addWidget(BuildOptionGroup(), 0);
    auto* right = new QVBoxLayout;
    right->addWidget(BuildMessageGroup(), 1);
    auto* exitRow = new QHBoxLayout;
    exitRow->addStretch(1);
    exitRow->addWidget(MakeButton(id::kClearMessage));
    exitRow->addWidget(MakeButton(id::kExit));
    right->addLayout(exitRow);
    lower->addLayout(right, 1);
    top->addLayout(lower, 2);

    top->addWidget(BuildStatusLine());
}

QWidget* MainWindow::BuildPartRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(MakeLabel(id::kPartLabel));
    seriesList_ = MakeList(id::kSeriesList);
    seriesList_->setMinimumContentsLength(16);
    partList_ = MakeList(id::kPartList);
    partList_->setMinimumContentsLength(16);
    partList_->setMaxVisibleItems(24);
    layout->addWidget(seriesList_);
    layout->addWidget(partList_);
    layout->addStretch(1);

    languageButton_ = new QPushButton(row);
    languageButton_->setObjectName(QStringLiteral("language"));
    languageButton_->setAutoDefault(false);
    BuildLanguageMenu();
    languageButton_->setMenu(languageMenu_);
    layout->addWidget(languageButton_);
    return row;
}

QWidget* MainWindow::BuildCodeBufferRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* files = new QVBoxLayout;
    for (int id = id::kLoadFile; id <= id::kOffLine; ++id) files->addWidget(MakeButton(id));
    files->addStretch(1);
    layout->addLayout(files);

    auto* group = new QGroupBox(this);
    Register(id::kCodeBufferGroup, group);
    auto* inside = new QVBoxLayout(group);
    inside->setContentsMargins(6, 4, 6, 6);
    // Created under the window itself: the control notifies the parent it was created under.
    hexControl_ = platform::CreateWindowByClass(platform::kQuadrelClassName, this, id::kCodeBuffer);
    if (hexControl_ != nullptr) {
        controls_[id::kCodeBuffer] = hexControl_;
        // Room for four address digits, sixteen bytes and their characters at font height 14.
        hexControl_->setMinimumSize(660, 150);
        hexControl_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        inside->addWidget(hexControl_);
    } else {
        // Without the control class the program does not open; tests still lay the window out.
        auto* placeholder = new QFrame(group);
        placeholder->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        placeholder->setMinimumSize(560, 150);
        inside->addWidget(placeholder);
    }
    buffer_.SetControl(hexControl_);
    layout->addWidget(group, 1);

    auto* operations = new QVBoxLayout;
    for (int id = id::kCheckId; id <= id::kAuto; ++id) operations->addWidget(MakeButton(id));
    operations->addStretch(1);
    layout->addLayout(operations);
    return row;
}

QGroupBox* MainWindow::BuildOptionGroup() {
    auto* group = new QGroupBox(this);
    Register(id::kOptionGroup, group);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(4);

    auto* buttons = new QHBoxLayout;
    for (int id = id::kWholeChipErase; id <= id::kReadOption; ++id) {
        buttons->addWidget(MakeButton(id));
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);

    auto* body = new QHBoxLayout;
    body->setSpacing(10);
    layout->addLayout(body);

    // Size lists, oscillator and the HWENW group, each with its Set and Now headings.
    auto* lists = new QGridLayout;
    lists->setHorizontalSpacing(4);
    lists->setVerticalSpacing(4);
    int setLabel = model::id::kSetLabelFirst;
    int nowLabel = model::id::kNowLabelFirst;
    auto addRow = [&](QGridLayout* grid, int row, int nameId, QWidget* set, QWidget* now) {
        grid->addWidget(MakeLabel(nameId), row, 0);
        grid->addWidget(MakeLabel(setLabel++), row, 1, Qt::AlignRight);
        grid->addWidget(set, row, 2);
        if (now != nullptr) {
            grid->addWidget(MakeLabel(nowLabel++), row, 3, Qt::AlignRight);
            grid->addWidget(now, row, 4);
        }
    };
    addRow(lists, 0, id::kIspLabel, MakeList(model::id::kIspList), MakeNowText(model::id::kIspNow));
    addRow(lists, 1, id::kIapLabel, MakeList(model::id::kIapList), MakeNowText(model::id::kIapNow));
    addRow(lists, 2, id::kOscLabel, MakeList(model::id::kOscList), nullptr);
    static_cast<QComboBox*>(Control(model::id::kOscList))->setMinimumContentsLength(10);

    auto* hwenw = new QGroupBox(this);
    Register(id::kHwenwGroup, hwenw);
    auto* hw = new QGridLayout(hwenw);
    hw->setContentsMargins(6, 2, 6, 4);
    hw->setHorizontalSpacing(4);
    auto* hwwidlSet = new QCheckBox(this);
    Register(model::id::kHwwidlSet, hwwidlSet);
    auto* hwwidlNow = new QCheckBox(this);
    hwwidlNow->setEnabled(false);
    Register(model::id::kHwwidlNow, hwwidlNow);
    addRow(hw, 0, id::kHwwidlLabel, hwwidlSet, hwwidlNow);
    addRow(hw, 1, id::kHwpsxLabel, MakeList(model::id::kHwpsxList),
           MakeNowText(model::id::kHwpsxNow));
    hw->setColumnStretch(2, 1);
    lists->addWidget(hwenw, 3, 0, 1, 5);
    lists->setRowStretch(4, 1);
    body->addLayout(lists);

    // The 24 option rows in two columns of twelve, in one grid so that the rows of both columns
    // line up, and every row as tall as one whose box carries a name.
    auto* rows = new QGridLayout;
    rows->setHorizontalSpacing(2);
    rows->setVerticalSpacing(1);
    for (int column = 0; column < 2; ++column) {
        const int at = column * 3;  // Set, Now, then a gap before the next column
        rows->addWidget(MakeLabel(setLabel++), 0, at);
        rows->addWidget(MakeLabel(nowLabel++), 0, at + 1, Qt::AlignCenter);
        for (int r = 0; r < 12; ++r) {
            const int i = column * 12 + r;
            auto* set = new QCheckBox(QStringLiteral("W"), this);
            set->setMinimumWidth(96);
            set->setMinimumHeight(set->sizeHint().height());
            set->setText(QString());
            Register(model::id::kOptionSetFirst + i, set);
            auto* now = new QCheckBox(this);
            now->setEnabled(false);
            Register(model::id::kOptionNowFirst + i, now);
            rows->addWidget(set, r + 1, at);
            rows->addWidget(now, r + 1, at + 1, Qt::AlignCenter);
        }
    }
    rows->setColumnMinimumWidth(2, 8);
    rows->setRowStretch(13, 1);
    body->addLayout(rows);
    body->addStretch(1);
    return group;
}

QGroupBox* MainWindow::BuildMessageGroup() {
    auto* group = new QGroupBox(this);
    Register(id::kMessageGroup, group);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 4, 6, 6);
    log_ = new MessageLog(group);
    log_->setMinimumWidth(240);
    Register(id::kMessageLog, log_);
    layout->addWidget(log_);
    return group;
}

QWidget* MainWindow::BuildStatusLine() {
    auto* line = new QWidget(this);
    auto* layout = new QGridLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(4);
    auto field = [this](int id, int minimumWidth) {
        auto* label = new QLabel(this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMinimumWidth(minimumWidth);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        Register(id, label);
        return label;
    };
    layout->addWidget(MakeLabel(id::kFilepathLabel), 0, 0);
    filepath_ = field(id::kFilepath, 120);
    filepath_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(filepath_, 0, 1);
    progress_ = new QProgressBar(this);
    progress_->setTextVisible(false);
    // Exactly the path field's height: the row keeps its size when the bar takes the place.
    progress_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    progress_->hide();
    Register(id::kProgressBar, progress_);
    layout->addWidget(progress_, 0, 1);
    layout->setColumnStretch(1, 1);
    layout->addWidget(MakeLabel(id::kFilesizeLabel), 0, 2);
    layout->addWidget(field(id::kFilesize, 110), 0, 3);
    layout->addWidget(MakeLabel(id::kChecksumLabel), 0, 4);
    layout->addWidget(field(id::kChecksum, 56), 0, 5);
    return line;
}

void MainWindow::BuildLanguageMenu() {
    languageMenu_ = new QMenu(this);
    auto* group = new QActionGroup(languageMenu_);
    for (int language = 0; language <= id::kLanguageCommandLast - id::kLanguageCommandFirst;
         ++language) {
        const auto name =
            cat::LookupText(static_cast<std::uint16_t>(cat::kLanguageBase + language), 0);
        if (!name) continue;
        auto* action = languageMenu_->addAction(FromUtf8(*name));
        action->setCheckable(true);
        action->setData(id::kLanguageCommandFirst + language);
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, language] { SystemCommand(id::kLanguageCommandFirst + language); });
    }
}

void MainWindow::ConnectEvents() {
    connect(seriesList_, &QComboBox::activated, this, [this](int position) {
        // Picking the series already shown is no change: it must not re-apply its first part
        // and so discard the buffer.
        if (position != bench_.series.Selected()) bench_.OnSeriesSelected(position);
    });
    connect(partList_, &QComboBox::activated, this,
            [this](int position) { bench_.OnPartSelected(position); });
    auto list = [this](int id) { return static_cast<QComboBox*>(Control(id)); };
    connect(list(model::id::kIspList), &QComboBox::activated, this,
            [this](int position) { bench_.OnIspChanged(position); });
    connect(list(model::id::kIapList), &QComboBox::activated, this,
            [this](int position) { bench_.OnIapChanged(position); });
    connect(list(model::id::kOscList), &QComboBox::activated, this,
            [this](int position) { bench_.OnOscChanged(position); });
    connect(list(model::id::kHwpsxList), &QComboBox::activated, this,
            [this](int position) { bench_.OnHwpsxChanged(position); });
    connect(static_cast<QCheckBox*>(Control(model::id::kHwwidlSet)), &QCheckBox::clicked, this,
            [this](bool ticked) { bench_.OnHwwidlClicked(ticked); });
    for (int i = 0; i < model::id::kOptionRows; ++i) {
        const int id = model::id::kOptionSetFirst + i;
        connect(static_cast<QCheckBox*>(Control(id)), &QCheckBox::clicked, this,
                [this, id](bool ticked) { bench_.OnOptionBoxClicked(id, ticked); });
    }

    auto button = [this](int id) { return static_cast<QPushButton*>(Control(id)); };
    connect(button(id::kLoadFile), &QPushButton::clicked, this,
            [this] { dialogs::OnLoadFile(this, bench_); });
    connect(button(id::kSaveBuffer), &QPushButton::clicked, this,
            [this] { dialogs::OnSaveBuffer(this, bench_); });
    connect(button(id::kSaveQrx), &QPushButton::clicked, this, [this] {
        // With Ctrl held this button opens an empty project form list and saves nothing.
        if (QApplication::keyboardModifiers() & Qt::ControlModifier) {
            dialogs::OpenFormList(this, bench_);
            return;
        }
        dialogs::OnSaveQrx(this, bench_);
    });
    connect(button(id::kInsertIsp), &QPushButton::clicked, this,
            [this] { dialogs::OnInsertIsp(this, bench_); });
    connect(button(id::kClearMessage), &QPushButton::clicked, this, [this] { log_->Clear(); });
    connect(button(id::kExit), &QPushButton::clicked, this, [this] { Exit(); });
    for (int id :
         {id::kDumpTarget, id::kCheckId, id::kErase, id::kBlankCheck, id::kProgram, id::kVerify,
          id::kAuto, id::kWholeChipErase, id::kWriteOption, id::kReadOption}) {
        connect(button(id), &QPushButton::clicked, this, [this, id] { OnWriterButton(id); });
    }
    connect(button(id::kOffLine), &QPushButton::clicked, this,
            [this] { dialogs::OpenOfflineDialog(this, *writer_); });
}

void MainWindow::LoadBanner() {
    const QString path = QString::fromStdString(platform::ProgramDirectory()) + "/logo.bmp";
    QPixmap picture(path);
    if (!picture.isNull()) banner_->setPixmap(picture);
}

void MainWindow::Open(const QString& commandLinePath) {
    writer_->busy = true;
    dialogs::ForcedUpgradeAtOpening(*writer_);  // with Ctrl held at start
    setWindowIcon(QIcon(QPixmap(QStringLiteral(":/writer/icon.png"))));
    LoadBanner();
    if (hexControl_ != nullptr) ConfigureCodeBufferControl(hexControl_);
    ApplyLanguage();
    if (const auto caption = cat::LookupText(cat::kProductInfo, 0)) {
        QString title = FromUtf8(*caption);
        // A demonstration writer says so, wherever the operator looks first.
        if (UsesVirtualWriter())
            title += cat::LanguageID() == 0 ? " - Virtual Writer" : " - 虚拟烧录器";
        setWindowTitle(title);
    }

    // The writer family: from an attached writer, else what the profile remembers.
    std::optional<std::uint32_t> family;
    family = probe_ ? probe_() : writer_->ProbeFamily();
    if (!family)
        family = static_cast<std::uint32_t>(profile_.ReadInt(QStringLiteral("PartType"), 0));
    bench_.RestorePart(profile_.ReadInt(QStringLiteral("PartNo"), -1), *family);

    show();
    if (!commandLinePath.isEmpty()) dialogs::LoadFileAtStartup(this, bench_, commandLinePath);
    writer_->busy = false;
}

void MainWindow::SystemCommand(int command) {
    if (command < id::kLanguageCommandFirst || command > id::kLanguageCommandLast) return;
    const int language = command - id::kLanguageCommandFirst;
    cat::SetLanguageID(language);
    profile_.WriteInt(QStringLiteral("LanguageID"), language);
    ApplyLanguage();
}

void MainWindow::ApplyLanguageText(int key) {
    if (auto text = cat::LanguageField(static_cast<std::uint16_t>(key), 0)) {
        SetControlText(Control(key), QString::fromStdString(*text));
    }
}

void MainWindow::ApplyLanguage() {
    const auto setText = cat::LanguageField(id::kSetText, 0);
    const auto nowText = cat::LanguageField(id::kNowText, 0);
    for (int label = model::id::kSetLabelFirst; label <= model::id::kSetLabelLast; ++label) {
        if (setText) SetControlText(Control(label), QString::fromStdString(*setText));
    }
    for (int label = model::id::kNowLabelFirst; label <= model::id::kNowLabelLast; ++label) {
        if (nowText) SetControlText(Control(label), QString::fromStdString(*nowText));
    }

    // The series list is re-texted at the same position; option names stay, descriptions follow.
    bench_.OnLanguageChanged();

    ApplyLanguageText(id::kExit);
    for (int key = id::kFirstButton; key <= id::kLastButton; ++key) ApplyLanguageText(key);
    for (int key = id::kCodeBufferGroup; key <= id::kPartLabel; ++key) ApplyLanguageText(key);
    for (int key = id::kFilepathLabel; key <= id::kChecksumLabel; ++key) ApplyLanguageText(key);
    for (int key = id::kFirstButton; key <= id::kLastButton; ++key) {
        const auto tip = cat::LanguageField(static_cast<std::uint16_t>(key), 1);
        if (QWidget* control = Control(key)) {
            control->setToolTip(tip ? QString::fromStdString(*tip) : QString());
        }
    }

    const int current = cat::LanguageID();
    for (QAction* action : languageMenu_->actions()) {
        action->setChecked(action->data().toInt() == id::kLanguageCommandFirst + current);
        if (action->isChecked()) languageButton_->setText(action->text());
    }
}

void MainWindow::Mirror(unsigned changes) {
    if (changes & model::kChangeSeriesList) MirrorList(seriesList_, bench_.series, Live());
    if (changes & model::kChangePartList) MirrorList(partList_, bench_.parts, Live());
    if (changes & model::kChangeOptionPanel) MirrorOptionPanel();
    if (changes & model::kChangeStatusLine) MirrorStatusLine();
}

void MainWindow::MirrorOptionPanel() {
    auto& panel = bench_.panel;
    for (model::ListModel* list : {&panel.osc, &panel.isp, &panel.iap, &panel.hwpsx}) {
        MirrorList(static_cast<QComboBox*>(Control(list->id())), *list, Live());
    }
    for (model::TextModel* text : {&panel.ispNow, &panel.iapNow, &panel.hwpsxNow}) {
        MirrorText(static_cast<QLabel*>(Control(text->id)), *text);
    }
    const bool live = Live();
    MirrorCheck(static_cast<QCheckBox*>(Control(panel.hwwidlSet.id)), panel.hwwidlSet, live);
    MirrorCheck(static_cast<QCheckBox*>(Control(panel.hwwidlNow.id)), panel.hwwidlNow, live);
    for (int i = 0; i < model::id::kOptionRows; ++i) {
        const auto row = static_cast<std::size_t>(i);
        MirrorCheck(static_cast<QCheckBox*>(Control(panel.setBoxes[row].id)), panel.setBoxes[row],
                    live);
        MirrorCheck(static_cast<QCheckBox*>(Control(panel.nowBoxes[row].id)), panel.nowBoxes[row],
                    live);
    }
}

void MainWindow::MirrorStatusLine() {
    for (model::TextModel* text : {&bench_.filepath, &bench_.filesize, &bench_.checksum}) {
        MirrorText(static_cast<QLabel*>(Control(text->id)), *text);
    }
    filepath_->setToolTip(filepath_->text());
}

void MainWindow::ShowProgress(bool shown) {
    progress_->setVisible(shown);
    filepath_->setVisible(!shown);
}

platform::LRESULT MainWindow::WindowProc(platform::UINT msg, platform::WPARAM wParam,
                                         platform::LPARAM lParam) {
    if (msg == platform::WM_COMMAND && platform::LowWord(wParam) == id::kCodeBuffer &&
        platform::HighWord(wParam) == platform::EN_CHANGE) {
        bench_.OnBufferChanged();
    }
    return 0;
}

void MainWindow::SaveProfile() {
    const int part = bench_.SelectedPartIndex();
    profile_.WriteInt(QStringLiteral("PartNo"), part);
    profile_.WriteInt(
        QStringLiteral("PartType"),
        static_cast<int>(cat::LookupNumber(cat::PartTable(part), cat::key::kFirmwareFamily)));
    profile_.Sync();
}

void MainWindow::Exit() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    SaveProfile();
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();  // the main window does not close on Escape
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    // Stands in for the window's system menu: the language commands, not during an operation.
    if (!Live()) return;
    languageMenu_->popup(event->globalPos());
}

}  // namespace app
