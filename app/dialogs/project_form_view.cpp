#include "app/dialogs/project_form_view.h"

#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "app/dialogs/dialog_controls.h"
#include "form/form_painter.h"
#include "platform/window_class.h"

namespace app::dialogs {

namespace {

// One font for every view of the program's run.
const QFont& ScreenFont(const QWidget* widget) {
    static const QFont font = form::FormFont(form::kScreenPoints, widget->logicalDpiY());
    return font;
}

}  // namespace

ProjectFormView::ProjectFormView(QWidget* parent) : QAbstractScrollArea(parent) {
    RegisterControl(this, kId);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);  // the static edge
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Every pixel is copied from the bitmap, so the background is never erased first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);

    QImage probe(1, 1, QImage::Format_RGB32);
    {
        QPainter painter(&probe);
        painter.setFont(ScreenFont(this));
        const auto cell = form::MeasureCell(painter);
        c_ = cell.c;
        h_ = cell.h;
    }
    bitmap_ = QImage(form::kFormColumns * c_, form::kPictureRows * h_, QImage::Format_RGB32);
    verticalScrollBar()->setSingleStep(h_);
    horizontalScrollBar()->setSingleStep(c_);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int action) { OnScrollAction(Qt::Vertical, action); });
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int action) { OnScrollAction(Qt::Horizontal, action); });
    UpdateScrollRanges();
}

void ProjectFormView::SetFormText(std::string text) {
    text_ = std::move(text);
    viewport()->update();
}

void ProjectFormView::UpdateScrollRanges() {
    // Range 0 to the bitmap's extent with a page of the visible size; the last position shows
    // the bitmap's last pixel row.
    const QSize page = viewport()->size();
    auto set = [](QScrollBar* bar, int extent, int pageSize) {
        bar->setPageStep(std::max(1, pageSize));
        bar->setRange(0, std::max(0, extent - pageSize + 1));
    };
    set(verticalScrollBar(), form::kPictureRows * h_, page.height());
    set(horizontalScrollBar(), form::kFormColumns * c_, page.width());
}

void ProjectFormView::OnScrollAction(Qt::Orientation orientation, int action) {
    QScrollBar* bar = orientation == Qt::Vertical ? verticalScrollBar() : horizontalScrollBar();
    const int unit = orientation == Qt::Vertical ? h_ : c_;
    // A page is 30 cells, not the visible size the thumb shows.
    if (action == QAbstractSlider::SliderPageStepAdd) {
        bar->setSliderPosition(bar->value() + kPageCells * unit);
    } else if (action == QAbstractSlider::SliderPageStepSub) {
        bar->setSliderPosition(bar->value() - kPageCells * unit);
    }
}

void ProjectFormView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRanges();
}

void ProjectFormView::paintEvent(QPaintEvent*) {
    {
        QPainter memory(&bitmap_);
        memory.setFont(ScreenFont(this));
        memory.fillRect(QRect(0, 0, form::kFormColumns * c_, form::kPageRows * h_), Qt::white);
        form::PaintForm(memory, text_, form::kPageRows);
    }
    QPainter painter(viewport());
    const QRect visible(horizontalScrollBar()->value(), verticalScrollBar()->value(),
                        viewport()->width(), viewport()->height());
    painter.fillRect(viewport()->rect(), Qt::white);
    painter.drawImage(QPoint(0, 0), bitmap_, visible);
}

}  // namespace app::dialogs
