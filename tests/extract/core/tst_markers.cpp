#include "extract/core/markers.h"
#include "extract/core/pagetext.h"
#include "extract/core/shown.h"
#include "platform/codepage.h"

#include <QTest>

using namespace pagrim;
using namespace pagrim::extract;

class TestMarkers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { codepage::setCurrentForTesting(0); }

    void locate_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("occurrence");
        QTest::addColumn<QByteArray>("found"); // the located bytes; empty: none
        QTest::newRow("references") << QByteArray("<p>A &amp; B&#8212;C&nbsp;D &#x4E2D;</p>")
                                    << QStringLiteral("A & B\u2014C D \u4E2D") << 1
                                    << QByteArray("A &amp; B&#8212;C&nbsp;D &#x4E2D;");
        QTest::newRow("white space")
            << QByteArray("<td>\r\n  New\t\r\n York </td>") << QStringLiteral(" New York\n") << 1
            << QByteArray("New\t\r\n York");
        QTest::newRow("tags inside") << QByteArray("<p>Price: <b>12</b>.50 <!-- x --></p>")
                                     << QStringLiteral("12.50") << 1 << QByteArray("12</b>.50");
        QTest::newRow("block tags part words")
            << QByteArray("<tr><td>a</td><td>b</td></tr>") << QStringLiteral("a b") << 1
            << QByteArray("a</td><td>b");
        QTest::newRow("second occurrence")
            << QByteArray("<script>x = 'Tom';</script><i>Tom</i> and <b>Tom</b>")
            << QStringLiteral("Tom") << 2 << QByteArray("Tom");
        QTest::newRow("no third") << QByteArray("<i>Tom</i> Tom") << QStringLiteral("Tom") << 3
                                  << QByteArray();
    }
    void locate()
    {
        QFETCH(QByteArray, page);
        QFETCH(QString, shown);
        QFETCH(int, occurrence);
        QFETCH(QByteArray, found);
        const Located at = LocateShown(page, shown, occurrence, codepage::Utf8);
        QCOMPARE(at.begin < 0 ? QByteArray() : page.mid(at.begin, at.end - at.begin), found);
        if (occurrence == 2)
            QCOMPARE(at.begin, page.lastIndexOf("Tom"));
        QCOMPARE(ShownText(" <b>x</b> &lt;y&gt;<br>z ", codepage::Utf8), QStringLiteral("x <y> z"));
    }

    // The value of a field that takes the shown text, in the code page.
    void shownValue_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QByteArray>("cut");
        QTest::addColumn<QByteArray>("value");
        const int utf8 = codepage::Utf8;
        QTest::newRow("block and inline tags")
            << utf8 << QByteArray("<li>One<br/>t<b class=\"x>\">w</b>o</li><td>three</td>")
            << QByteArray("One two three");
        QTest::newRow("references and a comment")
            << utf8 << QByteArray("A &amp; B&#8212;C&nbsp;D&lt;p&gt;<!-- <p> -->E")
            << QByteArray("A & B\u2014C D<p>E");
        QTest::newRow("white space")
            << utf8 << QByteArray(" \r\n a\t\r\n\r\n  b&#160; ") << QByteArray("a b");
        QTest::newRow("plain") << utf8 << QByteArray("a b") << QByteArray("a b");
        // 😀 has no place in GBK and stays a reference; 中 comes back as itself.
        QTest::newRow("outside GBK")
            << codepage::Gbk << QByteArray("<p>&#x1F600; <i>&#20013;</i>\xCE\xC4</p>")
            << QByteArray("&#128512; \xD6\xD0\xCE\xC4");
    }
    void shownValue()
    {
        QFETCH(int, codePage);
        QFETCH(QByteArray, cut);
        QFETCH(QByteArray, value);
        QCOMPARE(ShownValue(cut, codePage), value);
        QCOMPARE(HoldsMarkup(cut, codePage), cut != value);
    }

    // An end marker that also stands before the start marker finds nothing:
    // the one proposed is first where the value ends.
    void endMarkerFirstInPage()
    {
        const auto page = [](const char* name, const char* date) {
            return SamplePage{0, QByteArray("<table><tr><td>Name</td><td>") + name +
                                     "</td></tr>\r\n<tr><td>Date</td><td>" + date +
                                     "</td></tr></table>"};
        };
        std::vector<SamplePage> sample{page("Ann", "2024-01-02"), page("Bob", "2023-12-31"),
                                       page("Cy", "1999-05-06")};
        for (int i = 0; i < 3; ++i)
            sample[size_t(i)].number = i + 1;
        const MarkerSuggestion s =
            SuggestMarkers(sample, {{2, QStringLiteral("2023-12-31")}}, codepage::Utf8);
        QVERIFY2(s.problem.isEmpty(), qPrintable(s.problem));
        QCOMPARE(s.found, 3);
        QCOMPARE(s.values[0].value_or("?"), QByteArray("2024-01-02"));
        QCOMPARE(s.values[2].value_or("?"), QByteArray("1999-05-06"));
        QVERIFY(FindBytes(sample[0].text, s.end) > sample[0].text.indexOf("2024"));

        const MarkerSuggestion missing =
            SuggestMarkers(sample, {{1, QStringLiteral("Zed")}}, codepage::Utf8);
        QVERIFY(missing.problem.contains(QStringLiteral("Zed")));
        QVERIFY(missing.start.isEmpty());
    }

    // A start marker that begins inside the tag ("b>") also serves the
    // example, but cuts less than the example shows where the tag differs.
    void valuesAlikeTheTightestCut()
    {
        std::vector<SamplePage> sample;
        for (int n = 1; n <= 4; ++n)
            sample.push_back({n, "<td>Price</td><td class=\"price\">" +
                                     QByteArray(n % 2 ? "<b class=\"x\">" : "<b>") + "1" +
                                     QByteArray::number(n) + ".50</b> EUR</td></tr></table>\n<p>"});
        const MarkerSuggestion s =
            SuggestMarkers(sample, {{2, QStringLiteral("12.50 EUR")}}, codepage::Utf8);
        QCOMPARE(s.found, 4);
        QCOMPARE(ShownText(s.values[2].value_or("?"), codepage::Utf8), QStringLiteral("13.50 EUR"));
        QVERIFY2(!s.values[2]->contains("<p>"), s.values[2]->constData());
    }

    // No end marker serves both examples ("</a>" stands first in the side
    // bar): the markers serving one, on the most pages, and which they miss.
    void noPairServesEveryExample()
    {
        const auto page = [](int n, const char* value, const char* tail) {
            return SamplePage{n, QByteArray("<div><a>up</a></p>\n  </div><b>Src:</b> <a>") + value +
                                     "</a>" + tail + "</p>\n<hr>"};
        };
        const std::vector<SamplePage> sample{page(1, "one", ""), page(2, "two", ", <a>more</a>"),
                                             page(3, "three", "")};
        const MarkerSuggestion s = SuggestMarkers(
            sample, {{1, QStringLiteral("one")}, {2, QStringLiteral("two")}}, codepage::Utf8);
        QVERIFY2(s.problem.isEmpty(), qPrintable(s.problem));
        QCOMPARE(ShownText(s.values[2].value_or("?"), codepage::Utf8), QStringLiteral("three"));
        QVERIFY2(s.note.contains(QStringLiteral("第 2 页")), qPrintable(s.note));
    }

    // "价" is BC DB and "元" D4 AA: their lone bytes stand nowhere else, yet
    // a marker takes the whole character.
    void doubleByteCharacterWhole()
    {
        codepage::setCurrentForTesting(codepage::Gbk);
        const QByteArray text("<p>\xBC\xDB"
                              "9\xD4\xAA</p>");
        const MarkerSuggestion s =
            SuggestMarkers({{1, text}}, {{1, QStringLiteral("9")}}, codepage::Gbk);
        QVERIFY2(s.problem.isEmpty(), qPrintable(s.problem));
        QVERIFY(s.start.endsWith("\xBC\xDB"));
        QVERIFY(s.end.startsWith("\xD4\xAA"));
        QCOMPARE(s.values[0].value_or("?"), QByteArray("9"));
    }

    void spreadSample()
    {
        const std::vector<int> saved{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        QCOMPARE(SpreadSample(saved, 4, {6}), (std::vector<int>{1, 5, 6, 10}));
        QCOMPARE(SpreadSample(saved, 50, {3}), saved);
        QCOMPARE(SpreadSample({}, 5, {}), std::vector<int>{});
    }
};

QTEST_GUILESS_MAIN(TestMarkers)
#include "tst_markers.moc"
