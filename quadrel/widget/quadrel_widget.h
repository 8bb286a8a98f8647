// The window layer of the hex-grid control: translates Qt events and window messages into model
// operations and draws the model's state. Everything here has hidden visibility; programs reach
// the control only through the window-class registry and messages.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QRawFont>
#include <QTimer>

#include "platform/window_class.h"
#include "quadrel/model/layout.h"
#include "quadrel/model/quadrel_model.h"

namespace quadrel {

class QuadrelWidget final : public QAbstractScrollArea,
                            public platform::MessageWindow,
                            private ModelHost {
    Q_OBJECT

  public:
    QuadrelWidget(QWidget* parent, int controlId);
    ~QuadrelWidget() override;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  protected:
    bool event(QEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void scrollContentsBy(int, int) override {}
    bool focusNextPrevChild(bool) override { return false; }

  private:
    // ModelHost
    void NotifyChange() override;
    void Repaint() override;
    CellSize MeasureCell(int fontHeight) override;
    bool PutClipboard(std::span<const std::uint8_t> bytes) override;
    ClipboardRead TakeClipboard(std::vector<std::uint8_t>& bytes) override;

    void ApplyFont(int fontHeight);
    void Sync();
    void OnScrollAction(bool vertical, int action);
    void OnBlink();
    QRect CaretRect() const;
    void ComposeBackBuffer();
    void DrawCells(QPainter& p, int x, int top, const char* bytes, std::size_t count);

    Model model_;
    QPointer<QWidget> owner_;  // the parent recorded at creation; receives notifications
    int controlId_;

    QFont font_;
    int appliedFontHeight_ = 0;
    bool fontApplied_ = false;
    int ascent_ = 0;
    int cellWidth_ = 8;
    int cellHeight_ = 16;
    QRawFont rawFont_;
    quint32 glyphOf_[256] = {};
    QList<quint32> glyphIndexes_;
    QList<QPointF> glyphPositions_;

    QImage back_;
    bool backValid_ = false;
    bool painting_ = false;
    PaneTexts texts_;

    QTimer blink_;
    bool caretOn_ = true;
    QRect shownCaret_;
};

}  // namespace quadrel
