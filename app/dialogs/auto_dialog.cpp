#include "app/dialogs/auto_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <bit>

#include "app/dialogs/dialog_controls.h"
#include "catalogue/lookup.h"
#include "platform/window_class.h"
#include "writer/writer.h"

namespace app::dialogs {

namespace {

constexpr int kTitleKey = 129;
constexpr int kExitKey = 2;
constexpr int kRunKey = 1018;

struct StepBox {
    std::uint8_t step;  // its bit of the mask
    int key;
    const char* english;
};
// In the dialog's order.
constexpr StepBox kSteps[] = {
    {writer::step::kWholeChipErase, 1044, "Whole Chip Erase"},
    {writer::step::kErase, 1058, "Erase"},
    {writer::step::kBlankCheck, 1046, "Blank Check"},
    {writer::step::kProgram, 1047, "Program"},
    {writer::step::kVerify, 1048, "Verify"},
    {writer::step::kWriteOption, 1045, "Write Option"},
};

}  // namespace

AutoDialog::AutoDialog(QWidget* parent, std::uint8_t autoSteps,
                       std::function<void(std::uint8_t)> run)
    : QDialog(parent), carried_(autoSteps & 0xC0), run_(std::move(run)) {
    setWindowTitle(LanguageText(kTitleKey, "Configure Auto"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    int row = 0;
    for (const StepBox& step : kSteps) {
        auto* box = new QCheckBox(LanguageText(step.key, step.english), this);
        box->setChecked(autoSteps & step.step);
        RegisterControl(box, step.key);
        boxes_[static_cast<std::size_t>(std::countr_zero(step.step))] = box;
        grid->addWidget(box, row / 2, row % 2);
        ++row;
    }
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* runButton = new QPushButton(LanguageText(kRunKey, "Run"), this);
    runButton->setDefault(true);
    RegisterControl(runButton, kRunKey);
    auto* exitButton = new QPushButton(LanguageText(kExitKey, "Exit"), this);
    RegisterControl(exitButton, kExitKey);
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
