// Drawing the form: the picture's size and depth, the frame alone for an empty form, the text
// in its cells, and the printed page as a PDF.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "form/form_grid.h"
#include "form/form_outputs.h"
#include "form/form_painter.h"
#include "form/form_template.h"

namespace {

form::Cell PictureCell() {
    const QFontMetrics metrics(form::FormFont(form::kPicturePoints, form::kPictureDpi, false));
    return {metrics.horizontalAdvance(QLatin1Char('0')), metrics.height()};
}

// Every pixel the grid's lines cover (end points left out).
std::set<std::pair<int, int>> GridPixels(int c, int h) {
    std::set<std::pair<int, int>> pixels;
    for (const auto& l : form::FormGridLines(c, h)) {
        const int dx = (l.x2 > l.x1) - (l.x2 < l.x1);
        const int dy = (l.y2 > l.y1) - (l.y2 < l.y1);
        for (int x = l.x1, y = l.y1; x != l.x2 || y != l.y2; x += dx, y += dy)
            pixels.insert({x, y});
    }
    return pixels;
}

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string("form-render-") + std::to_string(::getpid()) + "-" + name))
        .string();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(FormPicture, EmptyFormIsTheFrameAlone) {
    const auto cell = PictureCell();
    const auto picture = form::RenderFormPicture("");
    ASSERT_EQ(picture.width, 100 * cell.c);
    ASSERT_EQ(picture.height, 70 * cell.h);
    const auto grid = GridPixels(cell.c, cell.h);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            ASSERT_EQ(picture.IsBlack(x, y), grid.count({x, y}) == 1) << x << "," << y;
        }
    }
}

TEST(FormPicture, TextSitsInItsCellsCentredInTheWidth) {
    const auto cell = PictureCell();
    form::FormSlots values;
    values.fill("");
    const std::string text = form::FillTemplate(form::FormTemplate(), values);
    const auto picture = form::RenderFormPicture(text);
    const auto grid = GridPixels(cell.c, cell.h);
    // Ink outside the grid only in the cells of characters: 80-wide lines start at cell 10.
    auto inkIn = [&](int column, int line) {  // 1-based column of an 80-wide line
        int n = 0;
        for (int y = (line - 1) * cell.h; y < line * cell.h; ++y)
            for (int x = (9 + column) * cell.c; x < (10 + column) * cell.c; ++x)
                n += picture.IsBlack(x, y) && !grid.count({x, y});
        return n;
    };
    EXPECT_GT(inkIn(31, 4), 0);   // "c" of the title
    EXPECT_EQ(inkIn(30, 4), 0);   // the blank before it
    EXPECT_GT(inkIn(7, 14), 0);   // "M" of MCU Body
    EXPECT_EQ(inkIn(25, 14), 0);  // empty value
    EXPECT_GT(inkIn(6, 53), 0);   // "L" of Liability
}

TEST(FormPicture, SavedAsOneBitBmp) {
    const auto cell = PictureCell();
    const std::string path = TempPath("form.bmp");
    ASSERT_TRUE(form::SaveFormPicture(path, "x"));
    const std::string bmp = ReadAll(path);
    std::filesystem::remove(path);
    ASSERT_GT(bmp.size(), 62u);
    auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(bmp[at + i]);
        return v;
    };
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(u32(18), static_cast<std::uint32_t>(100 * cell.c));
    EXPECT_EQ(u32(22), static_cast<std::uint32_t>(70 * cell.h));
    EXPECT_EQ(static_cast<int>(bmp[28]), 1);
    EXPECT_EQ(u32(2), bmp.size());
    // A file that cannot be created is left alone and reported.
    EXPECT_FALSE(form::SaveFormPicture("/nonexistent-dir/form.bmp", "x"));
}

TEST(FormPage, PrintedAsOnePdfPageTitledQrx) {
    const std::string path = TempPath("form.pdf");
    ASSERT_TRUE(form::PrintFormPdf(path, ""));
    const std::string pdf = ReadAll(path);
    std::filesystem::remove(path);
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_NE(pdf.find("/Count 1"), std::string::npos);
    EXPECT_NE(pdf.find("/Title"), std::string::npos);
    EXPECT_FALSE(form::PrintFormPdf("/nonexistent-dir/form.pdf", ""));
}

int main(int argc, char** argv) {
    // Also when ctest lists the tests, without the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
