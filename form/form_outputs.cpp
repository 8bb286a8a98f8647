#include "form/form_outputs.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "form/form_painter.h"
#include "project/file_io.h"

namespace form {

namespace {
constexpr int kDotsPerMeter96 = 3780;
constexpr int kPdfResolution = 600;
}  // namespace

MonoPicture RenderFormPicture(std::string_view text) {
    // Without smoothing every pixel is black or white, as on a one-bit surface.
    const QFont font = FormFont(kPicturePoints, kPictureDpi, false);
    QImage canvas(1, 1, QImage::Format_RGB32);
    canvas.setDotsPerMeterX(kDotsPerMeter96);
    canvas.setDotsPerMeterY(kDotsPerMeter96);
    Cell cell;
    {
        QPainter probe(&canvas);
        probe.setFont(font);
        cell = MeasureCell(probe);
    }
    canvas = QImage(kFormColumns * cell.c, kPictureRows * cell.h, QImage::Format_RGB32);
    canvas.setDotsPerMeterX(kDotsPerMeter96);
    canvas.setDotsPerMeterY(kDotsPerMeter96);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.setFont(font);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        PaintForm(painter, text, kPictureRows);
    }
    MonoPicture picture(canvas.width(), canvas.height());
    for (int y = 0; y < canvas.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        for (int x = 0; x < canvas.width(); ++x) {
            picture.black[static_cast<std::size_t>(y) * static_cast<std::size_t>(canvas.width()) +
                          static_cast<std::size_t>(x)] = qGray(row[x]) < 128 ? 1 : 0;
        }
    }
    return picture;
}

bool SaveFormPicture(const std::string& path, std::string_view text) {
    const auto bytes = EncodeMonoBmp(RenderFormPicture(text));
    if (bytes.empty()) return false;
    return proj::WriteFileReplacing(path, {std::span<const std::uint8_t>(bytes)}, false);
}

bool PrintFormPage(QPaintDevice& device, std::string_view text) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    painter.setFont(FormFont(kScreenPoints, device.logicalDpiY()));
    PaintForm(painter, text, kPageRows);
    return painter.end();
}

std::vector<std::uint8_t> RenderFormPdf(std::string_view text) {
    QBuffer document;
    document.open(QIODevice::WriteOnly);
    bool painted = false;
    {
        QPdfWriter pdf(&document);
        pdf.setTitle(QString::fromLatin1(kPrintDocumentName));
        pdf.setCreator(QStringLiteral("writer"));
        pdf.setResolution(kPdfResolution);
        // The printable area of a usual printer starts about a quarter inch inside the sheet.
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(6.35, 6.35, 6.35, 6.35), QPageLayout::Millimeter));
        painted = PrintFormPage(pdf, text);
    }
    if (!painted) return {};
    const QByteArray& bytes = document.data();
    return {bytes.begin(), bytes.end()};
}

bool PrintFormPdf(const std::string& path, std::string_view text) {
    // Drawn whole in memory first, so a file is only ever replaced by a complete document.
    const auto bytes = RenderFormPdf(text);
    if (bytes.empty()) return false;
    return proj::WriteFileReplacing(path, {std::span<const std::uint8_t>(bytes)}, false);
}

}  // namespace form
