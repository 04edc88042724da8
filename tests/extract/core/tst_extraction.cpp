// The extraction run without a window: page text, the marker cut, page lines,
// the folder walk with its order and test limit, the field rows of a run and
// the output files, the workbook read back by openpyxl.
#include "extract/core/extraction.h"
#include "extract/core/pagetext.h"
#include "extract/core/workbook.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/taskfolder.h"
#include "platform/text.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "support/coresupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using namespace pagrim;
using namespace pagrim::extract;

namespace {

struct FakeHost : ExtractHost
{
    QStringList pages; // the paths of the status texts, in order
    bool test = false;
    int testValue = 10;
    int events = 0;
    std::function<void()> onEvents;
    void ShowExtractStatus(const QString& text) override
    {
        QString path = text;
        path.remove(QStringLiteral(" 正在处理 - ")).remove(QStringLiteral("，请稍候..."));
        pages << path;
    }
    bool TestMode() const override { return test; }
    int TestValue() const override { return testValue; }
    void ProcessPendingEvents() override
    {
        ++events;
        if (onEvents)
            onEvents();
    }
};

ExtractField field(const QByteArray& name, const QByteArray& start, const QByteArray& end)
{
    return {name, start, end};
}

// The result files of lines alone, with a workbook of no rows.
void writeLines(const QString& task, const QList<QByteArray>& lines, const QByteArray& separator)
{
    WriteResultFiles(TaskFolder(task), lines, separator, codepage::Gbk, ResultTable(),
                     QStringLiteral("task"));
}

} // namespace

class TstExtraction : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void pageText_data();
    void pageText();
    void pageTextOfLongPages();
    void markers_data();
    void markers();
    void pageLine_data();
    void pageLine();
    void separatorToTab_data();
    void separatorToTab();
    void naturalOrderWithSubfolder();
    void testLimit_data();
    void testLimit();
    void testModeClearedDuringRun();
    void numbersWithoutGaps();
    void unreadablePageEndsRun();
    void runReadsFieldRows_data();
    void runReadsFieldRows();
    void shownTextOption();
    void resultFiles();
    void resultBook();
    void sheetName_data();
    void sheetName();
    void resultFilesAfterAKill_data();
    void resultFilesAfterAKill();
    void refusedOutput_data();
    void refusedOutput();

private:
    QString pagesFolder() const { return m_world->file(QStringLiteral("task/HTML/")); }
    void page(const QString& relative, const QByteArray& bytes);
    std::unique_ptr<test::TempWorld> m_world;
};

void TstExtraction::init()
{
    m_world = std::make_unique<test::TempWorld>();
    QVERIFY(QDir().mkpath(pagesFolder()));
}

void TstExtraction::cleanup()
{
    m_world.reset();
}

void TstExtraction::page(const QString& relative, const QByteArray& bytes)
{
    const QString path = pagesFolder() + relative;
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    test::put(path, bytes);
}

void TstExtraction::pageText_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("LF, last line open") << QByteArray("a\nb") << QByteArray("a\r\nb\r\n");
    QTest::newRow("CR") << QByteArray("a\rb\r") << QByteArray("a\r\nb\r\n");
    QTest::newRow("mixed, blank lines")
        << QByteArray("\n\r\r\na\n\rb") << QByteArray("\r\n\r\n\r\na\r\n\r\nb\r\n");
    QTest::newRow("LF CR is two ends") << QByteArray("a\n\r") << QByteArray("a\r\n\r\n");
}

void TstExtraction::pageText()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, text);
    QCOMPARE(PageText(file), text);
}

void TstExtraction::pageTextOfLongPages()
{
    // Line ends at every offset of the blocks the page is scanned in, and the
    // two bytes of a CR LF split between blocks.
    QByteArray file;
    const char* ends[] = {"\r\n", "\n", "\r", "\n\r", "\r\r\n"};
    for (int i = 0; file.size() < 5000; ++i)
        file += QByteArray(i % 37, char('a' + i % 26)) + ends[i % 5];
    QByteArray buffer("old text, longer than nothing");
    for (const QByteArray& page : {file, file + "open end", file.mid(3, 1000)}) {
        QByteArray expected;
        for (const QByteArray& line : splitLines(page))
            expected += line + "\r\n";
        QCOMPARE(PageText(page), expected);
        PageText(page, buffer);
        QCOMPARE(buffer, expected);
    }
}

void TstExtraction::markers_data()
{
    QTest::addColumn<QByteArray>("body"); // "|" is the page's line end
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<QByteArray>("value"); // "-" not found
    const QByteArray page = "<p>head</p>|<b>name</b>|<i>x</i>|<b>more</b>";
    QTest::newRow("found") << page << QByteArray("<b>") << QByteArray("</b>") << QByteArray("name");
    QTest::newRow("empty start") << page << QByteArray() << QByteArray("</b>") << QByteArray("-");
    QTest::newRow("empty end") << page << QByteArray("<b>") << QByteArray() << QByteArray("-");
    QTest::newRow("start missing")
        << page << QByteArray("<u>") << QByteArray("</b>") << QByteArray("-");
    QTest::newRow("end before start, again after")
        << page << QByteArray("<i>") << QByteArray("</b>") << QByteArray("-");
    QTest::newRow("start holds the end")
        << page << QByteArray("</p>|<b>") << QByteArray("p>") << QByteArray("-");
    QTest::newRow("adjacent markers")
        << QByteArray("x<b></b>y") << QByteArray("<b>") << QByteArray("</b>") << QByteArray("-");
    QTest::newRow("one byte between")
        << QByteArray("x<b>1</b>y") << QByteArray("<b>") << QByteArray("</b>") << QByteArray("1");
    QTest::newRow("case differs") << page << QByteArray("<B>") << QByteArray("</b>")
                                  << QByteArray("-");
    QTest::newRow("marker over lines")
        << page << QByteArray("</b>\r\n<i>") << QByteArray("</i>\r\n") << QByteArray("x");
    QTest::newRow("value over lines")
        << page << QByteArray("head</p>\r\n") << QByteArray("\r\n<i>") << QByteArray("<b>name</b>");
    QTest::newRow("value ends with a line")
        << page << QByteArray("<i>x</i>") << QByteArray("<b>more") << QByteArray("\r\n");
}

void TstExtraction::markers()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, end);
    QFETCH(QByteArray, value);
    for (const char* lineEnd : {"\r\n", "\n", "\r"}) {
        QByteArray file = body;
        file.replace('|', lineEnd);
        // The value is a view into the page text, which must outlive it.
        const QByteArray text = PageText(file);
        const Cut cut = CutBetweenMarkers(text, start, end);
        QCOMPARE(cut.found ? cut.value.toByteArray() : QByteArray("-"), value);
    }
}

void TstExtraction::pageLine_data()
{
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("line");
    const QByteArray page = "<a>1</a><b>2\r\n2</b><c>3</c>";
    QTest::newRow("all found, lines joined") << QByteArray("*") << page << QByteArray("*1*22*3");
    QTest::newRow("middle missing keeps its column")
        << QByteArray("*") << QByteArray("<a>1</a><c>3</c>") << QByteArray("*1**3");
    QTest::newRow("none found") << QByteArray("*") << QByteArray("<x>") << QByteArray();
    QTest::newRow("separator inside a value")
        << QByteArray("*") << QByteArray("<a>a*b</a>") << QByteArray("*a*b**");
    QTest::newRow("empty separator") << QByteArray() << page << QByteArray("1223");
    QTest::newRow("empty separator, only a line end")
        << QByteArray() << QByteArray("<a>\r\n</a>") << QByteArray();
    QTest::newRow("long separator") << QByteArray("<|>") << page << QByteArray("<|>1<|>22<|>3");
}

void TstExtraction::pageLine()
{
    QFETCH(QByteArray, separator);
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, line);
    FakeHost host;
    QList<QByteArray> lines;
    Extraction run(
        host, {field("a", "<a>", "</a>"), field("b", "<b>", "</b>"), field("c", "<c>", "</c>")},
        separator, lines, codepage::Utf8);
    QCOMPARE(run.PageLine(PageText(page)), line);
}

void TstExtraction::separatorToTab_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("expected");
    // 亅 is 0x81 0x7C in code page 936: its second byte is "|".
    const QByteArray trail("\x81\x7C", 2);
    QTest::newRow("plain") << QByteArray("a*b**c") << QByteArray("*") << codepage::Gbk
                           << QByteArray("a\tb\t\tc");
    QTest::newRow("second byte of a double-byte character")
        << QByteArray("x|" + trail + "|y") << QByteArray("|") << codepage::Gbk
        << QByteArray("x\t" + trail + "\ty");
    QTest::newRow("lone lead byte before it")
        << QByteArray("\x81|", 2) << QByteArray("|") << codepage::Gbk << QByteArray("\x81|", 2);
    QTest::newRow("byte-wise in UTF-8 too")
        << QByteArray("a|b") << QByteArray("|") << codepage::Utf8 << QByteArray("a\tb");
    QTest::newRow("two-byte separator")
        << QByteArray("a--b---c") << QByteArray("--") << codepage::Gbk << QByteArray("a\tb\t-c");
    QTest::newRow("empty separator")
        << QByteArray("a*b") << QByteArray() << codepage::Gbk << QByteArray("a*b");
}

void TstExtraction::separatorToTab()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, separator);
    QFETCH(int, codePage);
    QFETCH(QByteArray, expected);
    QCOMPARE(ReplaceAtCharStarts(text, separator, "\t", codePage), expected);
}

void TstExtraction::naturalOrderWithSubfolder()
{
    for (int i = 12; i >= 1; --i)
        page(QStringLiteral("%1.Htm").arg(i), "<a>" + QByteArray::number(i) + "</a>");
    page(QStringLiteral("3a/1.Htm"), "<a>sub</a>");
    page(QStringLiteral("03.Htm"), "<a>03</a>");
    page(QStringLiteral(".hidden"), "<a>h</a>");
    FakeHost host;
    QList<QByteArray> lines{"h"};
    Extraction run(host, {field("a", "<a>", "</a>")}, "*", lines, codepage::Utf8);
    run.ExtractFolder(pagesFolder().chopped(1)); // also without the trailing "/"
    QStringList names;
    for (const QString& p : host.pages)
        names << p.mid(pagesFolder().size());
    QCOMPARE(names.join(QLatin1Char(' ')),
             QStringLiteral(".hidden 1.Htm 2.Htm 03.Htm 3.Htm 3a/1.Htm 4.Htm 5.Htm 6.Htm 7.Htm "
                            "8.Htm 9.Htm 10.Htm 11.Htm 12.Htm"));
    QCOMPARE(lines.at(6), QByteArray("6*sub"));
    QCOMPARE(lines.size(), 16);
    QCOMPARE(host.events, 16); // after every file and folder
}

void TstExtraction::testLimit_data()
{
    QTest::addColumn<bool>("test");
    QTest::addColumn<int>("testValue");
    QTest::addColumn<int>("pages"); // of 3 in subfolder "0" (walked first), then 15
    QTest::newRow("off") << false << 10 << 18;
    QTest::newRow("TestValue 10") << true << 10 << 3 + 12;
    QTest::newRow("TestValue 0") << true << 0 << 2 + 2;
    QTest::newRow("TestValue -5") << true << -5 << 1 + 1;
    QTest::newRow("TestValue -1") << true << -1 << 1 + 1;
}

void TstExtraction::testLimit()
{
    QFETCH(bool, test);
    QFETCH(int, testValue);
    QFETCH(int, pages);
    for (int i = 1; i <= 15; ++i)
        page(QStringLiteral("%1.Htm").arg(i), "nothing");
    for (int i = 1; i <= 3; ++i)
        page(QStringLiteral("0/%1.Htm").arg(i), "nothing"); // walked first
    FakeHost host;
    host.test = test;
    host.testValue = testValue;
    QList<QByteArray> lines{"h"};
    Extraction run(host, {field("a", "<a>", "</a>")}, "*", lines, codepage::Utf8);
    run.ExtractFolder(pagesFolder());
    QCOMPARE(int(host.pages.size()), pages);
    QCOMPARE(lines.size(), 1); // pages without a line still count
}

void TstExtraction::testModeClearedDuringRun()
{
    for (int i = 1; i <= 20; ++i)
        page(QStringLiteral("%1.Htm").arg(i), "x");
    FakeHost host;
    host.test = true;
    host.testValue = 2; // four pages, had it stayed on
    host.onEvents = [&] {
        if (host.events == 3)
            host.test = false;
    };
    QList<QByteArray> lines{"h"};
    Extraction run(host, {}, "*", lines, codepage::Utf8);
    run.ExtractFolder(pagesFolder());
    QCOMPARE(host.pages.size(), 20);
}

void TstExtraction::numbersWithoutGaps()
{
    page(QStringLiteral("1.Htm"), "<a>one</a>");
    page(QStringLiteral("2.Htm"), "none");
    page(QStringLiteral("3.Htm"), "<a>three\r\n</a>");
    FakeHost host;
    QList<QByteArray> lines{"序号*a"};
    Extraction run(host, {field("a", "<a>", "</a>")}, "*", lines, codepage::Utf8);
    run.ExtractFolder(pagesFolder());
    QCOMPARE(lines, QList<QByteArray>({"序号*a", "1*one", "2*three"}));
    QCOMPARE(host.pages.first(), pagesFolder() + QStringLiteral("1.Htm"));
}

void TstExtraction::unreadablePageEndsRun()
{
    page(QStringLiteral("1.Htm"), "<a>one</a>");
    QVERIFY(QFile::link(pagesFolder() + QStringLiteral("gone"),
                        pagesFolder() + QStringLiteral("2.Htm")));
    page(QStringLiteral("3.Htm"), "<a>three</a>");
    FakeHost host;
    QList<QByteArray> lines{"h"};
    Extraction run(host, {field("a", "<a>", "</a>")}, "*", lines, codepage::Utf8);
    try {
        run.ExtractFolder(pagesFolder());
        QFAIL("the unreadable page went unnoticed");
    } catch (const Error& e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Cannot open file \"%1\". ")
                                            .arg(pagesFolder() + QStringLiteral("2.Htm"))),
                 qPrintable(e.message()));
    }
    QCOMPARE(host.pages.size(), 2);
}

void TstExtraction::runReadsFieldRows_data()
{
    QTest::addColumn<QString>("needs"); // DescNeed of the three rows
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QList<QByteArray>>("lines");
    const QByteArray num = codepage::fromUnicode(QStringLiteral("序号"), codepage::Gbk);
    const QByteArray title = codepage::fromUnicode(QStringLiteral("标题"), codepage::Gbk);
    const QByteArray value = codepage::fromUnicode(QStringLiteral("值"), codepage::Gbk);
    QTest::newRow("two selected") << "101" << QByteArray("*")
                                  << QList<QByteArray>{num + "*" + title + "*c",
                                                       "1*" + value + "*3"};
    QTest::newRow("none selected") << "000" << QByteArray("*") << QList<QByteArray>{num};
    QTest::newRow("empty separator")
        << "110" << QByteArray() << QList<QByteArray>{num + title + "b", "1" + value};
}

void TstExtraction::runReadsFieldRows()
{
    QFETCH(QString, needs);
    QFETCH(QByteArray, separator);
    QFETCH(QList<QByteArray>, lines);
    store::Connection conn;
    conn.open();
    // Keys out of insertion order: the columns follow the keys.
    conn.database().exec(
        QStringLiteral("insert into Descs (DescID, TaskID, DescName, DescNeed, DescStart, DescEnd) "
                       "values (3, 1, 'c', %3, '<c>', '</c>'), (1, 1, '标题', %1, '<a>', '</a>'), "
                       "(2, 1, 'b', %2, '<b>', '</b>'), (4, 2, 'other', 1, '<a>', '</a>')")
            .arg(needs[0])
            .arg(needs[1])
            .arg(needs[2]));
    store::DataSet fields(conn);
    fields.setCommandText(QStringLiteral("select * from descs where taskid=:taskid"));
    fields.setParameter(QStringLiteral("taskid"), 1);
    fields.open();
    fields.edit(); // a pending change is stored by the run
    fields.field(QStringLiteral("DescStart")).setValue(QStringLiteral("值="));
    // A GBK page: the UTF-8 marker "值=" of another page finds nothing.
    page(QStringLiteral("1.Htm"),
         codepage::fromUnicode(QStringLiteral("值=值</a><c>3</c>"), codepage::Gbk));
    page(QStringLiteral("2.Htm"), QStringLiteral("值=值</a>").toUtf8());
    FakeHost host;
    QList<QByteArray> result{"stale"};
    RunExtraction(host, fields, TaskFolder(m_world->file(QStringLiteral("task"))), separator,
                  result, codepage::Gbk);
    QCOMPARE(result, lines);
    QCOMPARE(fields.state(), store::DataSet::State::Browse);
    QCOMPARE(fields.currentRow(), 2);
}

// A field with ShownText takes the text its cut shows; one without (or with
// the option off) the cut as it stands.
void TstExtraction::shownTextOption()
{
    store::Connection conn;
    conn.open();
    conn.database().exec(QStringLiteral(
        "insert into Descs (DescID, TaskID, DescName, DescNeed, DescStart, DescEnd) values "
        "(1, 1, 'raw', 1, '<a>', '</a>'), (2, 1, 'off', 1, '<a>', '</a>'), "
        "(3, 1, 'text', 1, '<a>', '</a>'); "
        "insert into DescOptions values (2, 0), (3, 1)"));
    store::DataSet fields(conn);
    fields.setCommandText(QStringLiteral("select * from descs where taskid=1"));
    fields.open();
    const QByteArray cut("\r\n<b>X</b> &amp;&#128512;<br>\xD6\xD0");
    page(QStringLiteral("1.Htm"), "<a>" + cut + "</a>");
    FakeHost host;
    QList<QByteArray> lines;
    ResultTable table;
    RunExtraction(host, fields, TaskFolder(m_world->file(QStringLiteral("task"))), "*", lines,
                  codepage::Gbk, &table);
    const QByteArray raw = cut.mid(2);
    QCOMPARE(lines.value(1), "1*" + raw + "*" + raw + "*X &&#128512; \xD6\xD0");
    QCOMPARE(table.value(0, 2), QByteArray("X &&#128512; \xD6\xD0"));
    QVERIFY(!table.shownText(1) && table.shownText(2));
}

void TstExtraction::resultFiles()
{
    const QString task = m_world->file(QStringLiteral("task"));
    const QByteArray trail("\x81\x7C", 2);
    writeLines(task, {"h|a|b", "1|x" + trail + "|y", "2||z"}, "|");
    QCOMPARE(test::contents(task + QStringLiteral("/Infos.txt")),
             QByteArray("h|a|b\r\n1|x" + trail + "|y\r\n2||z\r\n"));
    QCOMPARE(test::contents(task + QStringLiteral("/Infos.xls")),
             QByteArray("h\ta\tb\r\n1\tx" + trail + "\ty\r\n2\t\tz\r\n"));
    // A second run leaves only its own lines.
    writeLines(task, {"h"}, "|");
    QCOMPARE(test::contents(task + QStringLiteral("/Infos.txt")), QByteArray("h\r\n"));
    QCOMPARE(test::contents(task + QStringLiteral("/Infos.xls")), QByteArray("h\r\n"));
    QVERIFY(test::contents(task + QStringLiteral("/Infos.xlsx")).startsWith("PK"));
    QCOMPARE(QDir(task).entryList(QDir::Files | QDir::Hidden).size(), 3); // no temporary left
}

void TstExtraction::resultBook()
{
    const auto gbk = [](const QString& text) { return codepage::fromUnicode(text, codepage::Gbk); };
    page(QStringLiteral("1.Htm"), gbk(QStringLiteral("<a>中文标题</a><c>a*b</c>")));
    page(QStringLiteral("2.Htm"), gbk(QStringLiteral("<a>007</a><b>x\ty</b><c>第一行\r\n第二行") +
                                      QString(70, u'w') + QStringLiteral("</c>")));
    FakeHost host;
    QList<QByteArray> lines{"h"};
    ResultTable table;
    table.reset({gbk(QStringLiteral("标题")), "b", gbk(QStringLiteral("正文"))});
    Extraction run(host,
                   {field(table.columns()[0], "<a>", "</a>"), field("b", "<b>", "</b>"),
                    field(table.columns()[2], "<c>", "</c>")},
                   "*", lines, codepage::Gbk, &table);
    run.ExtractFolder(pagesFolder());
    const QString task = m_world->file(QStringLiteral("task"));
    WriteResultFiles(TaskFolder(task), lines, "*", codepage::Gbk, table,
                     QStringLiteral("站点:列表/一"));
    // With a blank for the separator too.
    ResultTable blank;
    blank.reset({"x", "y"});
    blank.append("a\tb c");
    blank.append("d");
    QCOMPARE(SheetText({"h x y", "1 a\tb c d"}, blank, " ", codepage::Gbk),
             QByteArray("h\tx\ty\r\n1\ta b\tc\td\r\n"));
    // Infos.xls has a blank for a TAB of a value's own; Infos.txt keeps it.
    QVERIFY(test::contents(task + QStringLiteral("/Infos.txt")).contains("*x\ty*"));
    QVERIFY(test::contents(task + QStringLiteral("/Infos.xls"))
                .endsWith("2\t007\tx y\t" + gbk(QStringLiteral("第一行第二行")) +
                          QByteArray(70, 'w') + "\r\n"));

    // Debian's python3-openpyxl serves the python3 of /usr/bin.
    QString python =
        QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
    if (python.isEmpty())
        python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QProcess reader;
    reader.start(python, {QStringLiteral("-c"), QStringLiteral(R"(import json, sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
ws = book.worksheets[0]
print(json.dumps({"sheets": book.sheetnames, "freeze": ws.freeze_panes,
    "filter": ws.auto_filter.ref, "bold": ws["A1"].font.b,
    "widths": [int(ws.column_dimensions[c].width) for c in "ABCD"],
    "rows": [[c.value for c in row] for row in ws.iter_rows()]}))
)"),
                          task + QStringLiteral("/Infos.xlsx")});
    QVERIFY2(reader.waitForFinished(60000) && reader.exitCode() == 0,
             qPrintable(QStringLiteral("python3 with openpyxl (Debian's python3-openpyxl) "
                                       "reads the workbook: ") +
                        python + QLatin1Char(' ') + reader.errorString() + QLatin1Char(' ') +
                        QString::fromUtf8(reader.readAllStandardError())));
    const QByteArray expected = R"({"sheets": ["站点_列表_一"], "freeze": "A2",
        "filter": "A1:D3", "bold": true, "widths": [7, 9, 6, 60], "rows": [
        ["序号", "标题", "b", "正文"],
        [1, "中文标题", null, "a*b"],
        [2, "007", "x\ty", "第一行第二行)" +
                                QByteArray(70, 'w') + R"("]]})";
    QCOMPARE(QJsonDocument::fromJson(reader.readAllStandardOutput()),
             QJsonDocument::fromJson(expected));
}

void TstExtraction::sheetName_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<QString>("sheet");
    const QString wide = QString(30, u'字');
    QTest::newRow("as it is") << "站点 1"
                              << "站点 1";
    QTest::newRow("characters a sheet name may not hold") << "a[b]c:d*e?f/g\\h"
                                                          << "a_b_c_d_e_f_g_h";
    QTest::newRow("cut to 31") << wide + QStringLiteral("ab") << wide + QStringLiteral("a");
    QTest::newRow("not within a character") << wide + QStringLiteral("\U00020000") << wide;
    QTest::newRow("apostrophes at its ends") << "'a'b'"
                                             << "_a'b_";
    QTest::newRow("empty") << ""
                           << "Sheet1";
    QTest::newRow("the reserved name") << "history"
                                       << "history_";
}

void TstExtraction::sheetName()
{
    QFETCH(QString, task);
    QFETCH(QString, sheet);
    QCOMPARE(SheetName(task), sheet);
}

void TstExtraction::resultFilesAfterAKill_data()
{
    // What a kill while the set was replaced left (name=bytes), and what
    // Infos.txt, Infos.xls and Infos.xlsx read afterwards ("-" for none).
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("expected");
    const QString old = QStringLiteral("Infos.txt=old Infos.xls=old Infos.xlsx=old ");
    QTest::newRow("while staging")
        << old + QStringLiteral(".Infos.txt.pagrim-new=new .Infos.xls.pagrim-new=new "
                                ".Infos.xlsx.pagrim-book=torn")
        << "old old old";
    QTest::newRow("staged, none replaced")
        << old +
               QStringLiteral(
                   ".Infos.txt.pagrim-new=new .Infos.xls.pagrim-new=new .Infos.xlsx.pagrim-new=new")
        << "new new new";
    QTest::newRow("between the replacements")
        << "Infos.txt=new Infos.xls=old Infos.xlsx=old .Infos.xls.pagrim-new=new "
           ".Infos.xlsx.pagrim-new=new"
        << "new new new";
    QTest::newRow("first results")
        << "Infos.txt=new .Infos.xls.pagrim-new=new .Infos.xlsx.pagrim-new=new"
        << "new new new";
    QTest::newRow("a refused book, between the replacements")
        << "Infos.txt=new Infos.xls=old Infos.xlsx=old .Infos.xls.pagrim-new=new"
        << "new new old";
    QTest::newRow("a pair without a book, between the replacements")
        << "Infos.txt=new Infos.xls=old .Infos.xls.pagrim-new=new"
        << "new new -";
}

void TstExtraction::resultFilesAfterAKill()
{
    QFETCH(QString, left);
    QFETCH(QString, expected);
    const QString task = m_world->file(QStringLiteral("task"));
    const auto leaveAsKilled = [&] {
        for (const QString& file : left.split(QLatin1Char(' '))) {
            const QStringList nameAndBytes = file.split(QLatin1Char('='));
            test::put(task + QLatin1Char('/') + nameAndBytes[0], nameAndBytes[1].toLatin1());
        }
    };
    const auto read = [&](const char* name) {
        const QByteArray bytes = test::contents(task + QLatin1Char('/') + QLatin1String(name));
        return bytes == "<missing>" ? QByteArray("-") : bytes;
    };
    leaveAsKilled();
    FinishResultFiles(TaskFolder(task));
    QCOMPARE(
        QString::fromLatin1(read("Infos.txt") + ' ' + read("Infos.xls") + ' ' + read("Infos.xlsx")),
        expected);
    // No staged file nor the workbook's scratch is left.
    QCOMPARE(QDir(task).entryList(QDir::Files | QDir::Hidden).size(),
             3 - expected.count(QLatin1Char('-')));

    // A write finishes what was left before it stages its own: the next
    // results are whole, and no staged file of the old set stays behind.
    leaveAsKilled();
    writeLines(task, {"next"}, "*");
    QCOMPARE(read("Infos.txt"), QByteArray("next\r\n"));
    QCOMPARE(read("Infos.xls"), QByteArray("next\r\n"));
    QVERIFY(read("Infos.xlsx").startsWith("PK"));
    QCOMPARE(QDir(task).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TstExtraction::refusedOutput_data()
{
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QByteArray>("txt");
    QTest::addColumn<QByteArray>("xls");
    QTest::addColumn<QByteArray>("xlsx");
    const QByteArray txt = "h*a\r\n", xls = "h\ta\r\n", blocked = "<blocked>", old = "old";
    QTest::newRow("Infos.txt") << "Infos.txt"
                               << "Infos.txt" << blocked << old << old;
    QTest::newRow("Infos.xls") << "Infos.xls"
                               << "Infos.xls" << txt << blocked << old;
    QTest::newRow("Infos.xlsx") << "Infos.xlsx"
                                << "Infos.xlsx" << txt << xls << blocked;
    // Refused while the set is staged rather than when it is put in place.
    QTest::newRow("Infos.txt staged") << ".Infos.txt.pagrim-new"
                                      << "Infos.txt" << old << old << old;
    QTest::newRow("Infos.xls staged") << ".Infos.xls.pagrim-new"
                                      << "Infos.xls" << txt << old << old;
    QTest::newRow("Infos.xlsx staged") << ".Infos.xlsx.pagrim-new"
                                       << "Infos.xlsx" << txt << xls << old;
    QTest::newRow("workbook not made") << ".Infos.xlsx.pagrim-book"
                                       << "Infos.xlsx" << txt << xls << old;
}

void TstExtraction::refusedOutput()
{
    QFETCH(QString, blocked);
    QFETCH(QString, refused);
    QFETCH(QByteArray, txt);
    QFETCH(QByteArray, xls);
    QFETCH(QByteArray, xlsx);
    const QString task = m_world->file(QStringLiteral("task"));
    for (const char* name : {"/Infos.txt", "/Infos.xls", "/Infos.xlsx"})
        test::put(task + QLatin1String(name), "old");
    // A folder in the file's place: no write can replace it.
    QFile::remove(task + QLatin1Char('/') + blocked);
    QVERIFY(QDir(task).mkdir(blocked));
    try {
        writeLines(task, {"h*a"}, "*");
        QFAIL("the refused file went unnoticed");
    } catch (const Error& e) {
        QVERIFY2(e.message().startsWith(
                     QStringLiteral("Cannot create file \"%1/%2\". ").arg(task, refused)),
                 qPrintable(e.message()));
    }
    const auto read = [&](const QString& name) {
        return QFileInfo(task + QLatin1Char('/') + name).isDir()
                   ? QByteArray("<blocked>")
                   : test::contents(task + QLatin1Char('/') + name);
    };
    QCOMPARE(read(QStringLiteral("Infos.txt")), txt);
    QCOMPARE(read(QStringLiteral("Infos.xls")), xls);
    QCOMPARE(read(QStringLiteral("Infos.xlsx")), xlsx);
}

QTEST_GUILESS_MAIN(TstExtraction)
#include "tst_extraction.moc"
