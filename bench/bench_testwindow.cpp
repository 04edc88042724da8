// Fills the test result window with 10,000 result lines of 10 values and
// prints the time ShowResults takes, and that of the first paint after it.
#include "extract/ufrmTest.h"
#include "platform/codepage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Lines = 10000;
constexpr int Values = 10;
constexpr int Rounds = 5;

QList<QByteArray> resultLines()
{
    using pagrim::codepage::fromUnicode;
    QList<QByteArray> lines;
    QByteArray header = fromUnicode(QStringLiteral("序号"));
    for (int v = 1; v < Values; ++v)
        header += '*' + fromUnicode(QStringLiteral("字段%1").arg(v));
    lines.append(header);
    for (int n = 1; n < Lines; ++n) {
        QByteArray line = QByteArray::number(n);
        for (int v = 1; v < Values; ++v)
            line += '*' + fromUnicode(QStringLiteral("第%1页的第%2个值，一段中文").arg(n).arg(v));
        lines.append(line);
    }
    return lines;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QList<QByteArray> lines = resultLines();
    std::vector<double> fill;
    std::vector<double> paint;
    for (int round = 0; round < Rounds; ++round) {
        QWidget owner;
        TfrmTest window(&owner);
        QElapsedTimer clock;
        clock.start();
        window.ShowResults(lines, "*");
        fill.push_back(double(clock.nsecsElapsed()) / 1e6);
        window.show();
        clock.restart();
        const QPixmap shot = window.grab();
        paint.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("ShowResults %d lines x %d values: median %.1f ms, best %.1f ms (goal 300 ms)\n",
                Lines, Values, median(fill), *std::min_element(fill.begin(), fill.end()));
    std::printf("first paint after it: median %.1f ms\n", median(paint));
    return 0;
}
