#include "form/form_grid.h"

namespace form {

std::vector<GridLine> FormGridLines(int c, int h) {
    const int hx = c / 2;
    const int hy = h / 2;
    auto x = [&](int n) { return n * c - hx; };
    auto y = [&](int n) { return n * h + hy; };
    const int right = 86 * c + hx;
    std::vector<GridLine> lines;
    for (int n : {12, 14, 16, 18, 20, 22, 24, 26, 28, 49})
        lines.push_back({x(14), y(n), right, y(n)});
    lines.push_back({x(14), y(49), x(14), y(12)});
    lines.push_back({right, y(49), right, y(12)});
    lines.push_back({x(32), y(12), x(32), y(28)});
    for (int n : {51, 69}) {
        lines.push_back({x(n), y(20), x(n), y(24)});
        lines.push_back({x(n), y(26), x(n), y(28)});
    }
    lines.push_back({x(51), y(37), x(51), y(48)});
    return lines;
}

}  // namespace form
