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

#include "form/form_outputs.h"
#include "form/form_painter.h"
#include "form/form_template.h"

namespace {

form::Cell PictureCell() {
    const QFontMetrics metrics(form::FormFont(form::kPicturePoints, form::kPictureDpi, false));
    return {metrics.horizontalAdvance(QLatin1Char('0')), metrics.height()};
}

// The 18 lines of the frame in the picture's pixels, for its cell of 8 by 15: x(n) = 8 n - 4,
// y(n) = 15 n + 7, the right edge at 86 c + 4. Each line leaves out its end point.
struct Line {
    int x1, y1, x2, y2;
};
constexpr Line kPictureGrid[] = {
    {108, 187, 692, 187}, {108, 217, 692, 217}, {108, 247, 692, 247}, {108, 277, 692, 277},
    {108, 307, 692, 307}, {108, 337, 692, 337}, {108, 367, 692, 367}, {108, 397, 692, 397},
    {108, 427, 692, 427}, {108, 742, 692, 742},  // below lines 12 to 28, and under line 49
    {108, 742, 108, 187}, {692, 742, 692, 187},  // the sides
    {252, 187, 252, 427},                        // labels | values
    {404, 307, 404, 367}, {404, 397, 404, 427},  // the two pairs of lines 22, 24 and 28
    {548, 307, 548, 367}, {548, 397, 548, 427}, {404, 562, 404, 727},  // between the option columns
};

std::set<std::pair<int, int>> GridPixels() {
    std::set<std::pair<int, int>> pixels;
    for (const Line& l : kPictureGrid) {
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
    ASSERT_EQ(cell.c, 8);  // the installed fixed-pitch font at 10 points, 96 dpi
    ASSERT_EQ(cell.h, 15);
    const auto picture = form::RenderFormPicture("");
    ASSERT_EQ(picture.width, 800);
    ASSERT_EQ(picture.height, 1050);
    const auto grid = GridPixels();
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
    const auto grid = GridPixels();
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
    EXPECT_NE(pdf.find(std::string("/Title (\xFE\xFF\0Q\0R\0X)", 17)), std::string::npos);
    EXPECT_FALSE(form::PrintFormPdf("/nonexistent-dir/form.pdf", ""));
}

int main(int argc, char** argv) {
    // Also when ctest lists the tests, without the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
