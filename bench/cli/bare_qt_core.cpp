// Links Qt Core, uses it, prints a line: the least a Qt command-line program costs to start.
#include <QString>
#include <cstdio>

int main() {
    std::puts(qPrintable(QStringLiteral("ready")));
    return 0;
}
