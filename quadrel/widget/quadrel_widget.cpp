#include "quadrel/widget/quadrel_widget.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>

#include "platform/quadrel_messages.h"

namespace quadrel {

using namespace platform;

namespace {

constexpr int kDefaultCellHeight = 16;
constexpr int kMaxFontPixels = 512;

// Bytes 0x80..0x9F as the Western code page draws them; the unassigned ones show a full stop.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, '.',    0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, '.',    0x017D, '.',    '.',    0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, '.',    0x017E, 0x0178};

// One character cell per byte, always: glyph-less code points would break the grid.
QChar CharForByte(std::uint8_t b) {
    if (b >= 0x80 && b < 0xA0) return QChar(kHighControls[b - 0x80]);
    if (b == 0xA0) return QChar(u' ');
    if (b == 0xAD) return QChar(u'-');
    return QChar(static_cast<char16_t>(b));
}

// Typed Unicode back to the byte the character pane shows for it; otherwise its low 8 bits.
std::uint32_t CodeForTyped(char16_t c) {
    if (c >= 0x80 && c < 0xA0) return '.';
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == c && c != '.') return 0x80 + static_cast<std::uint32_t>(i);
    }
    return c;
}

QColor ToColor(COLORREF c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

int ClampToShort(qreal v) {
    return static_cast<int>(std::clamp<qreal>(v, SHRT_MIN, SHRT_MAX));
}

Key MapKey(int key) {
    switch (key) {
        case Qt::Key_Left:
            return Key::kLeft;
        case Qt::Key_Right:
            return Key::kRight;
        case Qt::Key_Up:
            return Key::kUp;
        case Qt::Key_Down:
            return Key::kDown;
        case Qt::Key_PageUp:
            return Key::kPageUp;
        case Qt::Key_PageDown:
            return Key::kPageDown;
        case Qt::Key_Home:
            return Key::kHome;
        case Qt::Key_End:
            return Key::kEnd;
        case Qt::Key_Delete:
            return Key::kDelete;
        case Qt::Key_Backspace:
            return Key::kBackspace;
        case Qt::Key_A:
            return Key::kA;
        case Qt::Key_C:
            return Key::kC;
        case Qt::Key_V:
            return Key::kV;
        case Qt::Key_X:
            return Key::kX;
        default:
            return Key::kOther;
    }
}

QString HexRendering(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()) * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text += (i % 16 == 0) ? QChar(u'\n') : QChar(u' ');
        text += QChar(digits[bytes[i] >> 4]);
        text += QChar(digits[bytes[i] & 0xF]);
    }
    return text;
}

}  // namespace

QuadrelWidget::QuadrelWidget(QWidget* parent, int controlId)
    : QAbstractScrollArea(parent), model_(*this), owner_(parent), controlId_(controlId) {
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int action) { OnScrollAction(true, action); });
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int action) { OnScrollAction(false, action); });
    // The scroll bars are part of the control: their wheel turns and right clicks are the
    // control's own, not the toolkit's line steps and scroll-bar menu.
    verticalScrollBar()->installEventFilter(this);
    horizontalScrollBar()->installEventFilter(this);
    const int flash = QApplication::cursorFlashTime();
    blink_.setInterval(flash > 0 ? flash / 2 : 500);
    connect(&blink_, &QTimer::timeout, this, &QuadrelWidget::OnBlink);
    ApplyFont(model_.state().fontHeight);
    Sync();
}

QuadrelWidget::~QuadrelWidget() = default;

LRESULT QuadrelWidget::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = model_.Message(msg, wParam, lParam);
    Sync();
    return result;
}

void QuadrelWidget::NotifyChange() {
    if (owner_ == nullptr) return;
    SendMessage(owner_.data(), WM_COMMAND,
                MakeWParam(static_cast<std::uint16_t>(controlId_), EN_CHANGE), ToLParam(this));
}

void QuadrelWidget::Repaint() {
    backValid_ = false;
    if (!painting_) viewport()->update();
}

void QuadrelWidget::ApplyFont(int fontHeight) {
    if (fontApplied_ && fontHeight == appliedFontHeight_) return;
    fontApplied_ = true;
    appliedFontHeight_ = fontHeight;
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::TypeWriter, QFont::PreferMatch);
    f.setFixedPitch(true);
    f.setKerning(false);
    if (!QFontInfo(f).fixedPitch()) f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (fontHeight < 0) {
        // Character height: the em size in pixels.
        f.setPixelSize(std::clamp(-static_cast<long long>(fontHeight), 1LL,
                                  static_cast<long long>(kMaxFontPixels)));
    } else {
        // Cell height: the largest font whose line height fits.
        const int cell =
            std::clamp(fontHeight == 0 ? kDefaultCellHeight : fontHeight, 1, kMaxFontPixels);
        int pixels = cell;
        f.setPixelSize(pixels);
        while (pixels > 1 && QFontMetrics(f).height() > cell) f.setPixelSize(--pixels);
    }
    // Text is drawn as whole strings, so every glyph must advance by exactly one cell: the
    // fractional advance is padded up to whole pixels.
    const qreal advance = QFontMetricsF(f).horizontalAdvance(QLatin1Char('0'));
    cellWidth_ = std::max(1, static_cast<int>(std::ceil(advance - 0.05)));
    f.setLetterSpacing(QFont::AbsoluteSpacing, cellWidth_ - advance);
    font_ = f;
    viewport()->setFont(font_);
    const QFontMetrics fm(font_);
    ascent_ = fm.ascent();
    cellHeight_ = std::max(1, fm.height());

    // Glyphs are looked up once per font; a paint then places them cell by cell without
    // shaping any text. A byte whose character the font lacks is drawn as a full stop.
    rawFont_ = QRawFont::fromFont(font_);
    QString all;
    for (int b = 0; b < 256; ++b) all += CharForByte(static_cast<std::uint8_t>(b));
    const QList<quint32> glyphs = rawFont_.glyphIndexesForString(all);
    const quint32 dot = glyphs.size() > '.' ? glyphs['.'] : 0;
    for (int b = 0; b < 256; ++b) {
        const quint32 g = b < glyphs.size() ? glyphs[b] : 0;
        glyphOf_[b] = g != 0 ? g : dot;
    }
}

void QuadrelWidget::DrawCells(QPainter& p, int x, int top, const char* bytes, std::size_t count) {
    if (count == 0 || !rawFont_.isValid()) return;
    glyphIndexes_.resize(static_cast<qsizetype>(count));
    glyphPositions_.resize(static_cast<qsizetype>(count));
    const qreal baseline = top + ascent_;
    for (std::size_t i = 0; i < count; ++i) {
        glyphIndexes_[static_cast<qsizetype>(i)] = glyphOf_[static_cast<std::uint8_t>(bytes[i])];
        glyphPositions_[static_cast<qsizetype>(i)] =
            QPointF(x + static_cast<qreal>(i) * cellWidth_, baseline);
    }
    QGlyphRun run;
    run.setRawFont(rawFont_);
    run.setGlyphIndexes(glyphIndexes_);
    run.setPositions(glyphPositions_);
    p.drawGlyphRun(QPointF(0, 0), run);
}

CellSize QuadrelWidget::MeasureCell(int fontHeight) {
    ApplyFont(fontHeight);
    return {cellWidth_, cellHeight_};
}

bool QuadrelWidget::PutClipboard(std::span<const std::uint8_t> bytes) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) return false;
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kQuadrelClipboardFormat),
                  QByteArray(reinterpret_cast<const char*>(bytes.data()),
                             static_cast<qsizetype>(bytes.size())));
    mime->setText(HexRendering(bytes));
    clipboard->setMimeData(mime);
    return true;
}

ClipboardRead QuadrelWidget::TakeClipboard(std::vector<std::uint8_t>& bytes) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) return ClipboardRead::kCannotOpen;
    const QMimeData* mime = clipboard->mimeData();
    const QString format = QString::fromLatin1(kQuadrelClipboardFormat);
    if (mime == nullptr || !mime->hasFormat(format)) return ClipboardRead::kNoData;
    const QByteArray payload = mime->data(format);
    bytes.assign(payload.begin(), payload.end());
    return ClipboardRead::kData;
}

QRect QuadrelWidget::CaretRect() const {
    const State& s = model_.state();
    return QRect(s.caretX, s.caretY, s.cellWidth, s.cellHeight);
}

// Mirrors the model into the scroll bars and the caret after every event or message.
void QuadrelWidget::Sync() {
    const State& s = model_.state();
    auto apply = [](QScrollBar* bar, const ScrollBar& m) {
        bar->setRange(m.min, m.MaxPos());
        bar->setPageStep(std::max(1, m.page));
        bar->setValue(m.pos);
    };
    apply(verticalScrollBar(), s.vertical);
    apply(horizontalScrollBar(), s.horizontal);
    backValid_ = false;

    const QRect caret = (s.focused && s.caretShown) ? CaretRect() : QRect();
    if (caret != shownCaret_) {
        viewport()->update(shownCaret_);
        viewport()->update(caret);
        shownCaret_ = caret;
        caretOn_ = true;
        if (caret.isValid()) blink_.start();
    }
    if (!caret.isValid()) blink_.stop();
}

void QuadrelWidget::OnBlink() {
    caretOn_ = !caretOn_;
    viewport()->update(shownCaret_);
}

void QuadrelWidget::OnScrollAction(bool vertical, int action) {
    QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
    int code = -1;
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            code = SB_LINEUP;
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            code = SB_LINEDOWN;
            break;
        case QAbstractSlider::SliderPageStepSub:
            code = SB_PAGEUP;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            code = SB_PAGEDOWN;
            break;
        case QAbstractSlider::SliderMove:
            code = SB_THUMBTRACK;
            break;
        default:
            break;
    }
    if (code >= 0) model_.Scroll(vertical, code, bar->sliderPosition());
    const State& s = model_.state();
    bar->setSliderPosition(vertical ? s.vertical.pos : s.horizontal.pos);
    Sync();
}

bool QuadrelWidget::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride) {
        // Keys the control acts on stay with it rather than triggering a window shortcut
        // (Delete, Escape, Ctrl+C, ...); other Ctrl combinations and function keys remain the
        // window's.
        auto* key = static_cast<QKeyEvent*>(e);
        const Qt::KeyboardModifiers mods = key->modifiers();
        const int k = key->key();
        const bool functionKey = k >= Qt::Key_F1 && k <= Qt::Key_F35;
        const bool ctrlKey = k == Qt::Key_A || k == Qt::Key_C || k == Qt::Key_V || k == Qt::Key_X ||
                             k == Qt::Key_Home || k == Qt::Key_End;
        const bool ours =
            !(mods & Qt::AltModifier) && ((mods & Qt::ControlModifier) ? ctrlKey : !functionKey);
        if (ours) {
            e->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

bool QuadrelWidget::eventFilter(QObject* watched, QEvent* e) {
    const bool bar = watched == verticalScrollBar() || watched == horizontalScrollBar();
    if (bar && e->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(e));
        return true;
    }
    if (bar && e->type() == QEvent::ContextMenu) {
        contextMenuEvent(static_cast<QContextMenuEvent*>(e));
        return true;
    }
    return QAbstractScrollArea::eventFilter(watched, e);
}

bool QuadrelWidget::viewportEvent(QEvent* e) {
    if (e->type() == QEvent::Resize) {
        model_.SetClientSize(viewport()->width(), viewport()->height());
        backValid_ = false;
    }
    return QAbstractScrollArea::viewportEvent(e);
}

void QuadrelWidget::keyPressEvent(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods = e->modifiers();
    if (mods & Qt::AltModifier) {
        e->ignore();  // menu mnemonics and system keys belong to the window
        return;
    }
    const bool ctrl = mods & Qt::ControlModifier;
    model_.KeyDown(MapKey(e->key()), ctrl, mods & Qt::ShiftModifier);
    if (!ctrl) {
        for (QChar c : e->text()) model_.Char(CodeForTyped(c.unicode()));
    }
    Sync();
    // The menu key still opens the context menu, which Qt only does for an unaccepted press.
    if (e->key() == Qt::Key_Menu) {
        e->ignore();
    } else {
        e->accept();
    }
}

void QuadrelWidget::focusInEvent(QFocusEvent* e) {
    model_.SetFocus(true);
    Sync();
    QAbstractScrollArea::focusInEvent(e);
}

void QuadrelWidget::focusOutEvent(QFocusEvent* e) {
    model_.SetFocus(false);
    Sync();
    QAbstractScrollArea::focusOutEvent(e);
}

void QuadrelWidget::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    // Qt keeps delivering moves to this widget until the button is released (implicit grab).
    const QPointF p = e->position();
    model_.ButtonDown(ClampToShort(p.x()), ClampToShort(p.y()), e->modifiers() & Qt::ShiftModifier);
    Sync();
    e->accept();
}

void QuadrelWidget::mouseDoubleClickEvent(QMouseEvent* e) {
    mousePressEvent(e);
}

void QuadrelWidget::mouseMoveEvent(QMouseEvent* e) {
    const QPointF p = e->position();
    model_.MouseMove(ClampToShort(p.x()), ClampToShort(p.y()), e->buttons() & Qt::LeftButton);
    Sync();
    e->accept();
}

void QuadrelWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        const QPointF p = e->position();
        model_.ButtonUp(ClampToShort(p.x()), ClampToShort(p.y()));
        Sync();
    }
    e->accept();
}

void QuadrelWidget::wheelEvent(QWheelEvent* e) {
    const int delta = e->angleDelta().y();
    if (delta != 0) {
        model_.Wheel(delta);  // one page per wheel event, whatever its size
        Sync();
    }
    e->accept();
}

void QuadrelWidget::contextMenuEvent(QContextMenuEvent* e) {
    e->accept();
    MenuItem items[kMenuItemCount];
    model_.ContextMenu(items);
    // Built anew each time. It runs its own event loop, in which the parent may destroy this
    // control (and the menu with it), so both are watched.
    const QPointer<QuadrelWidget> alive(this);
    const QPointer<QMenu> menu = new QMenu(this);
    for (int i = 0; i < kMenuItemCount; ++i) {
        if (i == 4) menu->addSeparator();
        QAction* action = menu->addAction(QString::fromLatin1(items[i].text));
        action->setData(items[i].command);
        action->setEnabled(items[i].enabled);
    }
    // From the keyboard there is no mouse point: the menu opens at the caret.
    QPoint at = e->globalPos();
    if (e->reason() != QContextMenuEvent::Mouse) {
        const State& s = model_.state();
        const QPoint local =
            s.caretShown ? QPoint(s.caretX, s.caretY + s.cellHeight) : QPoint(0, 0);
        at = viewport()->mapToGlobal(local);
    }
    QAction* chosen = menu->exec(at);
    if (alive == nullptr) return;
    const int command = chosen != nullptr ? static_cast<int>(chosen->data().toUInt()) : -1;
    delete menu.data();
    if (command >= 0) WindowProc(WM_COMMAND, MakeWParam(static_cast<std::uint16_t>(command), 0), 0);
}

void QuadrelWidget::ComposeBackBuffer() {
    const State& s = model_.state();
    const qreal dpr = viewport()->devicePixelRatioF();
    const QSize pixels = viewport()->size() * dpr;
    if (back_.size() != pixels) {
        back_ = QImage(pixels, QImage::Format_RGB32);
        back_.setDevicePixelRatio(dpr);
    }
    if (back_.isNull()) return;
    QPainter p(&back_);
    p.fillRect(QRect(QPoint(0, 0), viewport()->size()), ToColor(s.colors[kWindowBackground]));
    p.setFont(font_);
    if (s.size > 0) {
        ComposePaneTexts(s, texts_);
        const int ch = s.cellHeight;
        const int cw = s.cellWidth;
        // Each pane is one composed text; it is drawn row by row so rows stay on the cell grid
        // whatever leading the font has.
        auto drawPane = [&](const PixelRect& r, const std::string& text, int bgSlot, int fgSlot) {
            const QRect clip(r.left, r.top, r.right - r.left, r.bottom - r.top);
            if (clip.isEmpty()) return;
            p.setClipRect(clip);
            p.setPen(ToColor(s.colors[fgSlot]));
            const QColor bg = ToColor(s.colors[bgSlot]);
            std::size_t start = 0;
            int y = 0;
            while (start < text.size() && y < s.clientHeight) {
                std::size_t end = text.find('\n', start);
                if (end == std::string::npos) end = text.size();
                std::size_t len = end - start;
                if (len > 0 && text[start + len - 1] == '\r') --len;
                p.fillRect(QRect(r.left, y, static_cast<int>(len) * cw, ch), bg);
                DrawCells(p, r.left, y, text.data() + start, len);
                y += ch;
                start = end + 1;
            }
        };
        drawPane(AddressTextRect(s), texts_.address, kAddressBackground, kAddressText);
        drawPane(HexTextRect(s), texts_.hex, kHexBackground, kHexText);
        drawPane(CharTextRect(s), texts_.chars, kCharBackground, kCharText);
        p.setClipping(false);

        const MirrorCell mirror = ComputeMirrorCell(s);
        if (mirror.present) {
            const int bgSlot = mirror.inHexPane ? kHexBackground : kCharBackground;
            const int fgSlot = mirror.inHexPane ? kHexText : kCharText;
            const QRect cell(mirror.rect.left, mirror.rect.top,
                             mirror.rect.right - mirror.rect.left,
                             mirror.rect.bottom - mirror.rect.top);
            p.fillRect(cell, ToColor(s.colors[fgSlot]));
            p.setPen(ToColor(s.colors[bgSlot]));
            DrawCells(p, cell.left(), cell.top(), mirror.text, std::strlen(mirror.text));
        } else {
            const Outline outline = ComputeSelectionOutline(s);
            p.setPen(QPen(ToColor(s.colors[kSelectionFrame]), 1));
            p.setBrush(Qt::NoBrush);
            for (int i = 0; i < outline.count; ++i) {
                const Figure& f = outline.figures[i];
                if (f.rectangle) {
                    const Point a = f.points[0], b = f.points[1];
                    p.drawRect(a.x, a.y, b.x - a.x - 1, b.y - a.y - 1);
                } else {
                    QPoint pts[8];
                    for (int k = 0; k < f.count; ++k) pts[k] = QPoint(f.points[k].x, f.points[k].y);
                    p.drawPolygon(pts, f.count);
                }
            }
        }
    }
    backValid_ = true;
}

void QuadrelWidget::paintEvent(QPaintEvent*) {
    painting_ = true;
    if (model_.state().layoutStale) {
        model_.PrepareLayout();
        Sync();
    }
    ApplyFont(model_.state().fontHeight);
    const qreal dpr = viewport()->devicePixelRatioF();
    if (!backValid_ || back_.size() != viewport()->size() * dpr) ComposeBackBuffer();
    painting_ = false;

    QPainter p(viewport());
    p.drawImage(0, 0, back_);
    const State& s = model_.state();
    if (hasFocus() && s.focused && s.caretShown && caretOn_) {
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(CaretRect(), Qt::white);
    }
}

}  // namespace quadrel
