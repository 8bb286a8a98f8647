#include "app/dialogs/upgrade_dialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/device_change.h"
#include "writer/dfu_upgrade_forced.h"
#include "writer/dfu_upgrade_texts.h"

namespace app::dialogs {

namespace {

constexpr int kBlinkMs = 200;
const QColor kBackground(251, 209, 3);

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

UpgradeDialog::UpgradeDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint),
      banner_(new QLabel(this)),
      message_(new QLabel(this)),
      percentage_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      blink_(new QTimer(this)),
      bannerText_(Utf8(writer::UpgradeBannerText())) {
    setModal(false);
    QPalette amber = palette();
    amber.setColor(QPalette::Window, kBackground);
    amber.setColor(QPalette::WindowText, Qt::black);
    setPalette(amber);
    setAutoFillBackground(true);

    QFont bannerFont;
    // Impact where installed; otherwise a narrow heavy face keeps the look.
    bannerFont.setFamilies({QStringLiteral("Impact"), QStringLiteral("Liberation Sans Narrow"),
                            QStringLiteral("DejaVu Sans Condensed")});
    bannerFont.setPixelSize(48);
    bannerFont.setWeight(QFont::DemiBold);
    banner_->setFont(bannerFont);
    banner_->setAlignment(Qt::AlignCenter);
    banner_->setAutoFillBackground(true);
    QPalette redOnBlack = banner_->palette();
    redOnBlack.setColor(QPalette::Window, Qt::black);
    redOnBlack.setColor(QPalette::WindowText, Qt::red);
    banner_->setPalette(redOnBlack);
    banner_->setText(bannerText_);

    QFont messageFont(QStringLiteral("Tahoma"));
    messageFont.setPixelSize(16);
    messageFont.setWeight(QFont::DemiBold);
    message_->setFont(messageFont);
    message_->setWordWrap(true);
    message_->setAlignment(Qt::AlignCenter);
    message_->setText(Utf8(writer::UpgradeMessageText()));

    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    percentage_->setAlignment(Qt::AlignCenter);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner_);
    layout->addWidget(message_);
    layout->addWidget(bar_);
    layout->addWidget(percentage_);
    setFixedSize(440, 250);

    connect(blink_, &QTimer::timeout, this, &UpgradeDialog::Blink);
    blink_->start(kBlinkMs);
}

void UpgradeDialog::Blink() {
    bannerShown_ = !bannerShown_;
    banner_->setText(bannerShown_ ? bannerText_ : QString());
}

void UpgradeDialog::ShowValue(std::uint32_t value) {
    percentage_->setText(Utf8(writer::UpgradeProgressText(value)));
    bar_->setValue(writer::UpgradeProgressBar(value));
}

std::unique_ptr<writer::UpgradeProgressView> WindowUpgradeUi::ShowProgressDialog() {
    auto dialog = std::make_unique<UpgradeDialog>(window_);
    dialog->show();
    dialog->raise();
    return dialog;
}

bool WindowUpgradeUi::RegisterHidNotification() {
    return app::RegisterHidNotification();
}

void WindowUpgradeUi::UnregisterHidNotification() {
    app::UnregisterHidNotification();
}

void InstallDfuUpgrade(QWidget* window, writer::Writer& writer) {
    struct Installed {
        Installed(QWidget* w, writer::Writer& wr) : ui(w), dfu(wr.host(), wr.questions(), ui) {}
        WindowUpgradeUi ui;
        writer::DfuUpgrade dfu;
    };
    auto installed = std::make_shared<Installed>(window, writer);
    writer.dfuUpgrade = [installed](std::span<const std::uint8_t> image) {
        return installed->dfu.Run(image);
    };
}

bool ForcedUpgradeAtOpening(writer::Writer& writer) {
    if (!(QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier)) return false;
    return writer::OfferForcedUpgrade(writer);
}

}  // namespace app::dialogs
