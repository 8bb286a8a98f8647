#include "app/dialogs/auto_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "catalogue/lookup.h"
#include "platform/window_class.h"

namespace app::dialogs {

namespace {

constexpr int kTitleKey = 129;
constexpr int kExitKey = 2;
constexpr int kRunKey = 1018;

struct StepBox {
    int bit;
    int key;
    const char* english;
};
// In the dialog's order; each box stands for one bit of the mask.
constexpr StepBox kSteps[] = {
    {0, 1044, "Whole Chip Erase"}, {5, 1058, "Erase"},  {1, 1046, "Blank Check"},
    {2, 1047, "Program"},          {3, 1048, "Verify"}, {4, 1045, "Write Option"},
};

QString Text(int key, const char* english) {
    if (auto text = cat::LanguageField(static_cast<std::uint16_t>(key), 0))
        return QString::fromStdString(*text);
    return QString::fromLatin1(english);
}

}  // namespace

AutoDialog::AutoDialog(QWidget* parent, std::uint8_t autoSteps,
                       std::function<void(std::uint8_t)> run)
    : QDialog(parent), carried_(autoSteps & 0xC0), run_(std::move(run)) {
    setWindowTitle(Text(kTitleKey, "Configure Auto"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    int row = 0;
    for (const StepBox& step : kSteps) {
        auto* box = new QCheckBox(Text(step.key, step.english), this);
        box->setChecked(autoSteps & (1u << step.bit));
        box->setObjectName(QStringLiteral("c%1").arg(step.key));
        platform::SetControlId(box, step.key);
        boxes_[static_cast<std::size_t>(step.bit)] = box;
        grid->addWidget(box, row / 2, row % 2);
        ++row;
    }
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* runButton = new QPushButton(Text(kRunKey, "Run"), this);
    runButton->setDefault(true);
    runButton->setObjectName(QStringLiteral("c%1").arg(kRunKey));
    auto* exitButton = new QPushButton(Text(kExitKey, "Exit"), this);
    exitButton->setObjectName(QStringLiteral("c%1").arg(kExitKey));
    buttons->addWidget(runButton);
    buttons->addWidget(exitButton);
    layout->addLayout(buttons);
    connect(runButton, &QPushButton::clicked, this, [this] { Run(); });
    connect(exitButton, &QPushButton::clicked, this, &QDialog::reject);
    setFixedSize(sizeHint());
}

std::uint8_t AutoDialog::Mask() const {
    std::uint8_t mask = carried_;
    for (std::size_t bit = 0; bit < boxes_.size(); ++bit) {
        if (boxes_[bit]->isChecked()) mask |= static_cast<std::uint8_t>(1u << bit);
    }
    return mask;
}

void AutoDialog::Run() {
    // A Run clicked from inside the batch's own pump is ignored.
    if (running_) return;
    running_ = true;
    if (run_) run_(Mask());
    running_ = false;
}

void OpenAutoDialog(QWidget* parent, std::uint8_t autoSteps,
                    const std::function<void(std::uint8_t)>& run) {
    AutoDialog dialog(parent, autoSteps, run);
    dialog.exec();
}

}  // namespace app::dialogs
