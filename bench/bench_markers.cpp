// Markers proposed from one and from two example values over a sample of 50
// pages of about 100 KB each: a page of a site's template with many table
// rows and cells alike, the value in the middle. Prints the best time of a
// few runs of each.
#include "extract/core/markers.h"
#include "extract/core/pagetext.h"
#include "platform/codepage.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

using namespace pagrim;
using namespace pagrim::extract;

namespace {

QByteArray rows(int page, int from, int count)
{
    QByteArray out;
    for (int r = from; r < from + count; ++r)
        out += "<tr><td class=\"k\">Item " + QByteArray::number(r) + "</td><td>" +
               QByteArray::number(page * 7 + r) + "</td><td><a href=\"/i/" + QByteArray::number(r) +
               "\">more</a></td></tr>\r\n";
    return out;
}

SamplePage page(int n)
{
    QByteArray text = "<html><head><title>Page " + QByteArray::number(n) +
                      "</title><script>var x = '<td>';</script></head><body>\r\n<table>\r\n";
    text += rows(n, 0, 600);
    text += "<tr><td class=\"k\">Price</td><td><b>" + QByteArray::number(100 + n) +
            ".50</b></td></tr>\r\n";
    text += rows(n, 600, 600);
    text += "</table></body></html>\r\n";
    return {n, PageText(text)};
}

double bestMs(const std::vector<SamplePage>& sample, const std::vector<MarkerExample>& examples,
              MarkerSuggestion& s)
{
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer clock;
        clock.start();
        s = SuggestMarkers(sample, examples, codepage::Utf8);
        best = qMin(best, clock.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main()
{
    std::vector<SamplePage> sample;
    qsizetype bytes = 0;
    for (int n = 1; n <= 50; ++n) {
        sample.push_back(page(n));
        bytes += sample.back().text.size();
    }
    MarkerSuggestion s;
    const double one = bestMs(sample, {{7, QStringLiteral("107.50")}}, s);
    std::printf("50 pages, %.0f KB each on average\n", double(bytes) / 50 / 1024);
    std::printf("one example:  %.1f ms, found on %d, start \"%s\" end \"%s\"\n", one, s.found,
                s.start.constData(), s.end.constData());
    const double two =
        bestMs(sample, {{7, QStringLiteral("107.50")}, {30, QStringLiteral("130.50")}}, s);
    std::printf("two examples: %.1f ms, found on %d\n", two, s.found);
    return s.found == 50 ? 0 : 1;
}
