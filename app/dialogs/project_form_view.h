// The form's view in the "QRX Form List" dialog: the whole form drawn into a bitmap of
// 100 by 70 character cells, of which the visible part is copied out at the scroll position.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <string>

namespace app::dialogs {

class ProjectFormView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    static constexpr int kId = 1510;
    static constexpr int kPageCells = 30;  // what a page up or down moves, in cells

    explicit ProjectFormView(QWidget* parent = nullptr);

    // The form text (the view's window text); an empty text shows the frame alone.
    void SetFormText(std::string text);
    const std::string& FormText() const { return text_; }

    int CellWidth() const { return c_; }
    int CellHeight() const { return h_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void UpdateScrollRanges();
    void OnScrollAction(Qt::Orientation orientation, int action);

    std::string text_;
    QImage bitmap_;
    int c_ = 1;
    int h_ = 1;
};

}  // namespace app::dialogs
