// The store's LIKE: the matcher itself and the same rules through SQL on a real
// connection, where the link test of page list generation evaluates them.
#include "platform/errors.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "store/likematcher.h"
#include "support/coresupport.h"

#include <QtTest>

using namespace pagrim;
using namespace pagrim::store;

namespace {
constexpr int Malformed = -1; // the pattern is malformed
}

class TestLikeMatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void match_data();
    void match();
    void matchThroughSql_data() { match_data(); }
    void matchThroughSql();
    void nullSideGivesNoMatch();
    void likeOverTableColumns();
    void longTextsBacktrackQuickly();

private:
    std::unique_ptr<test::TempWorld> m_world;
    std::unique_ptr<Connection> m_conn;
};

void TestLikeMatcher::initTestCase()
{
    m_world = std::make_unique<test::TempWorld>();
    m_conn = std::make_unique<Connection>();
    m_conn->open();
}

void TestLikeMatcher::cleanupTestCase()
{
    m_conn.reset();
    m_world.reset();
}

void TestLikeMatcher::match_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("expected");

    const auto row = [](const char* name, const char* text, const char* pattern, int expected) {
        QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(pattern) << expected;
    };
    // Whole-text match, letters without regard to case.
    row("equal", "abc", "abc", 1);
    row("case", "ABC", "abc", 1);
    row("prefix only", "abc", "ab", 0);
    row("pattern longer", "abc", "abcd", 0);
    row("both empty", "", "", 1);
    row("empty pattern", "a", "", 0);
    row("non-ascii case", "ÄBCΣ", "äbcσ", 1);
    row("chinese", "中文网页", "中文网页", 1);
    // "%": any run, possibly empty.
    row("percent empty text", "", "%", 1);
    row("address", "http://a.com/news/123.html", "http://a.com/news/%.html", 1);
    row("address case", "HTTP://A.com/News/9.HTML", "http://a.com/news/%.html", 1);
    row("address other end", "http://a.com/news/1.htm", "http://a.com/news/%.html", 0);
    row("percent empty run", "http://a.com/news/.html", "http://a.com/news/%.html", 1);
    row("suffix repeated", "x.html.html", "%.html", 1);
    row("several", "aXbXc", "a%b%c", 1);
    row("several missing", "ab", "a%b%c", 0);
    row("only percents", "abc", "%%%", 1);
    row("double percent", "abc", "a%%c", 1);
    row("backtrack", "mississippi", "m%iss%ppi", 1);
    row("backtrack inner", "mississippi", "%sip%", 1);
    row("backtrack tail", "abcabd", "%abd", 1);
    row("backtrack tail fails", "abcab", "%abd", 0);
    row("chinese prefix", "中文", "中%", 1);
    row("chinese suffix", "中文", "%文", 1);
    // "_": exactly one character.
    row("underscore", "abc", "a_c", 1);
    row("underscore none", "ac", "a_c", 0);
    row("underscore chinese", "a中c", "a_c", 1);
    row("three", "abc", "___", 1);
    row("three of two", "ab", "___", 0);
    row("underscore percent", "ab", "_%", 1);
    row("underscore percent empty", "", "_%", 0);
    // Sets and ranges.
    row("set", "b", "[abc]", 1);
    row("set case", "B", "[abc]", 1);
    row("set miss", "d", "[abc]", 0);
    row("negated", "d", "[!abc]", 1);
    row("negated miss", "a", "[!abc]", 0);
    row("negated case", "A", "[!abc]", 0);
    row("range", "m", "[a-z]", 1);
    row("range case", "M", "[a-z]", 1);
    row("range digits", "5", "[0-9]", 1);
    row("range miss", "x", "[0-9]", 0);
    row("negated range", "5", "[!0-9]", 0);
    row("two ranges low", "b", "[A-CX-Z]", 1);
    row("two ranges high", "y", "[A-CX-Z]", 1);
    row("two ranges miss", "m", "[A-CX-Z]", 0);
    row("range and chars", "_", "[a-z_]", 1);
    row("hyphen first", "-", "[-a]", 1);
    row("hyphen last", "-", "[a-]", 1);
    row("hyphen alone", "-", "[-]", 1);
    row("negated hyphen", "-", "[!-a]", 0);
    row("negated hyphen other", "b", "[!-a]", 1);
    row("chinese set", "国", "[中国]", 1);
    row("set takes one", "ab", "[ab]", 0);
    row("set in address", "page12", "page[0-9][0-9]", 1);
    row("set in address short", "page1", "page[0-9][0-9]", 0);
    // Wildcards inside a set stand for themselves.
    row("percent in set", "%", "[%]", 1);
    row("percent in set other", "a", "[%]", 0);
    row("underscore in set", "_", "[_]", 1);
    row("underscore in set other", "x", "[_]", 0);
    row("open bracket in set", "[", "[[]", 1);
    row("star in set", "*", "[*]", 1);
    // "[]" matches nothing; "[!]" is a "!".
    row("empty set", "ab", "a[]b", 1);
    row("empty set end", "a", "a[]", 1);
    row("empty set takes none", "ab", "a[]", 0);
    row("empty set only", "", "[]", 1);
    row("empty set after percent", "abc", "a%[]c", 1);
    row("bang set", "!", "[!]", 1);
    row("bang set other", "a", "[!]", 0);
    // "*", "?", "#", "]" and "!" are plain characters.
    row("star literal", "a*c", "a*c", 1);
    row("star not wildcard", "abc", "a*c", 0);
    row("question literal", "a?c", "a?c", 1);
    row("question not wildcard", "abc", "a?c", 0);
    row("hash literal", "#", "#", 1);
    row("hash not digit", "1", "#", 0);
    row("closing bracket", "a]", "a]", 1);
    row("bang", "!", "!", 1);
    // Malformed patterns are errors, also where the text could never match.
    row("unclosed", "abc", "[abc", Malformed);
    row("unclosed at end", "zzz", "a[", Malformed);
    row("unclosed negated", "a", "[!", Malformed);
    row("after percent", "a", "%[", Malformed);
    row("descending", "b", "[z-a]", Malformed);
    row("descending by case", "b", "[Z-a]", Malformed);
    row("hyphen between ranges", "b", "[a-c-e]", Malformed);
    row("double hyphen", "b", "[a--z]", Malformed);
}

void TestLikeMatcher::match()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(int, expected);
    if (expected == Malformed) {
        try {
            likeMatch(text, pattern);
            QFAIL("no error for a malformed pattern");
        } catch (const DatabaseError& e) {
            QCOMPARE(e.message(), QStringLiteral("Invalid pattern string"));
        }
        return;
    }
    QCOMPARE(likeMatch(text, pattern), expected == 1);
}

void TestLikeMatcher::matchThroughSql()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(int, expected);
    const auto quoted = [](QString s) { return s.replace(QLatin1Char('\''), QLatin1String("''")); };
    auto query = CreateScratchQuery(*m_conn);
    query->setCommandText(QStringLiteral("select iif('") + quoted(text) +
                          QStringLiteral("' like '") + quoted(pattern) +
                          QStringLiteral("',1,0) as bLike "));
    if (expected == Malformed) {
        try {
            query->open();
            QFAIL("the statement ran with a malformed pattern");
        } catch (const DatabaseError& e) {
            QCOMPARE(e.message(), QStringLiteral("Invalid pattern string"));
        }
        QVERIFY(!query->isActive());
        return;
    }
    query->open();
    QCOMPARE(query->field(QStringLiteral("bLike")).asInteger(), expected);
}

void TestLikeMatcher::nullSideGivesNoMatch()
{
    auto query = CreateScratchQuery(*m_conn);
    query->setCommandText(QStringLiteral(
        "select iif(null like 'a',1,0) as a, iif('a' like null,1,0) as b, 'a' like null as c"));
    query->open();
    QCOMPARE(query->field(QStringLiteral("a")).asInteger(), 0);
    QCOMPARE(query->field(QStringLiteral("b")).asInteger(), 0);
    QVERIFY(query->field(QStringLiteral("c")).isNull());
}

void TestLikeMatcher::likeOverTableColumns()
{
    int id = 0;
    for (const char* address : {"HTTP://Site/Ä1.html", "http://site/ä2.htm", "http://other/3.html"})
        test::addTask(m_world->storePath(), ++id, QString(),
                      {{QStringLiteral("ResAddr"), QString::fromUtf8(address)}});
    auto query = CreateScratchQuery(*m_conn);
    query->setCommandText(
        QStringLiteral("select TaskID from Tasks where ResAddr like 'http://site/ä%' order by 1"));
    query->open();
    QCOMPARE(query->recordCount(), 2);
    query->setCommandText(
        QStringLiteral("select count(*) from Tasks where ResAddr like '%.html' "));
    query->open();
    QCOMPARE(query->field(0).asInteger(), 2);
}

void TestLikeMatcher::longTextsBacktrackQuickly()
{
    // Backing up to the last "%" only keeps this linear in practice.
    const QString text = QString(20000, QLatin1Char('a'));
    const QString pattern = QStringLiteral("%a%a%a%a%a%a%a%b");
    QVERIFY(!likeMatch(text, pattern));
    QVERIFY(likeMatch(text + QLatin1Char('b'), pattern));
}

QTEST_GUILESS_MAIN(TestLikeMatcher)
#include "tst_likematcher.moc"
