#include "form/form_painter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include "core/utf8.h"
#include "form/form_grid.h"

namespace form {

QFont FormFont(int points, int dpi, bool antialiased) {
    QFont font;
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    // Whole pixels, rounded the way a point size becomes a character height on a display.
    font.setPixelSize(std::max(1, (points * dpi + 36) / 72));
    if (!antialiased) font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

Cell MeasureCell(const QPainter& painter) {
    const QFontMetrics metrics(painter.font(), painter.device());
    return {std::max(1, metrics.horizontalAdvance(QLatin1Char('0'))),
            std::max(1, metrics.height())};
}

void DrawFormGrid(QPainter& painter, int c, int h) {
    for (const auto& l : FormGridLines(c, h)) {
        // The end point is left out, as a pen moved to it leaves it.
        const int dx = (l.x2 > l.x1) - (l.x2 < l.x1);
        const int dy = (l.y2 > l.y1) - (l.y2 < l.y1);
        painter.drawLine(l.x1, l.y1, l.x2 - dx, l.y2 - dy);
    }
}

QString FormLineText(std::string_view line) {
    // The same reading the template's padding counts characters by.
    const auto size = static_cast<qsizetype>(line.size());
    return core::IsUtf8(line) ? QString::fromUtf8(line.data(), size)
                              : QString::fromLatin1(line.data(), size);
}

namespace {

QString ExpandTabs(const QString& line) {
    QString out;
    for (const QChar ch : line) {
        if (ch == QLatin1Char('\t')) {
            out.append(QString(kTabColumns - out.size() % kTabColumns, QLatin1Char(' ')));
        } else {
            out.append(ch);
        }
    }
    return out;
}

}  // namespace

void DrawFormText(QPainter& painter, std::string_view text, const QRect& area, Cell cell) {
    const QFontMetrics metrics(painter.font(), painter.device());
    int row = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const QString shown = ExpandTabs(FormLineText(line));
        const int top = area.top() + row * cell.h;
        if (top >= area.top() + area.height()) break;
        const int cells = static_cast<int>(shown.toUcs4().size());
        const int left = area.left() + (area.width() - cells * cell.c) / 2;
        const int baseline = top + metrics.ascent();
        int column = 0;
        for (qsizetype i = 0; i < shown.size(); ++i, ++column) {
            // A character outside the basic plane is two code units but one cell.
            const qsizetype units =
                shown[i].isHighSurrogate() && i + 1 < shown.size() && shown[i + 1].isLowSurrogate()
                    ? 2
                    : 1;
            const QString glyph = shown.mid(i, units);
            i += units - 1;
            if (glyph == QLatin1String(" ")) continue;
            painter.drawText(left + column * cell.c, baseline, glyph);
        }
        ++row;
        start = end + 1;
    }
}

Cell PaintForm(QPainter& painter, std::string_view text, int rows) {
    const Cell cell = MeasureCell(painter);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBackgroundMode(Qt::TransparentMode);
    DrawFormGrid(painter, cell.c, cell.h);
    DrawFormText(painter, text, QRect(0, 0, kFormColumns * cell.c, rows * cell.h), cell);
    return cell;
}

}  // namespace form
