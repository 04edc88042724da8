// The links of a page fetched without the browser, and the addresses they
// resolve to, written as the embedded browser writes them.
#include "harvest/core/bodytext.h"
#include "harvest/core/documentlinks.h"
#include "harvest/core/webaddress.h"
#include "support/linkpage.h"

#include <QtTest>

using namespace pagrim;
using namespace pagrim::harvest;

namespace {

const QUrl Page(QStringLiteral("http://h/dir/list.htm"));

QStringList onPage(std::initializer_list<const char*> paths)
{
    QStringList addresses;
    for (const char* path : paths) {
        const QString p = QString::fromUtf8(path);
        addresses.append(p.contains(QLatin1Char(':')) ? p : QStringLiteral("http://h") + p);
    }
    return addresses;
}

} // namespace

class TstDocumentLinks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void trickyPage_data();
    void trickyPage();
    void base_data();
    void base();
    void parsing_data();
    void parsing();
    void address_data();
    void address();
};

void TstDocumentLinks::trickyPage_data()
{
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QString>("query");
    QTest::newRow("utf-8") << QByteArray("utf-8")
                           << QStringLiteral("kw=%E6%96%B0%E9%97%BB&p=%E4%B8%AD&e=%F0%9F%98%80");
    // The query in the page's encoding; what GBK cannot hold as "&#N;".
    QTest::newRow("gbk") << QByteArray("gbk")
                         << QStringLiteral("kw=%D0%C2%CE%C5&p=%D6%D0&e=%26%23128512%3B");
}

void TstDocumentLinks::trickyPage()
{
    QFETCH(QByteArray, charset);
    QFETCH(QString, query);
    const QByteArray page = test::trickyLinkPage(charset);
    QStringList expected =
        onPage({"/list/sub/news_1.htm", "/list/up.htm?a=1&b=2",
                "/%E8%B7%AF%E5%BE%84/%E9%A1%B5%E9%9D%A2.htm", "query", "/list/sub/UPPER.HTM",
                "/list/sub/spaced.htm", "/area.htm", "http://example.com/A/c.htm#top",
                "http://cdn.example.com/x.htm", "/list/sub/a%E4%B8%ADb%E4%B8%AD.htm", "/news/2.htm",
                "/list/sub/del%7F.htm", "/list/sub/news_1.htm"});
    expected[3] = QStringLiteral("http://h/list/sub/q.htm?") + query + QStringLiteral("#%E8%8A%82");
    QCOMPARE(documentLinks(decodeBody(page, {}), Page, bodyEncoding(page, {})), expected);
}

void TstDocumentLinks::base_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QStringList>("links");
    QTest::newRow("none") << QString() << onPage({"/dir/r.htm", "http://x/a"});
    QTest::newRow("first with href, relative")
        << QStringLiteral("<base target=_top><base href=../b/><base href=http://other/>")
        << onPage({"/b/r.htm", "http://x/a"});
    QTest::newRow("empty href") << QStringLiteral("<base href=''><base href=http://other/>")
                                << onPage({"/dir/r.htm", "http://x/a"});
    QTest::newRow("data: is not taken")
        << QStringLiteral("<base href='data:text/html,x'>") << onPage({"/dir/r.htm", "http://x/a"});
    QTest::newRow("invalid: no relative links")
        << QStringLiteral("<base href='http://h:99999/'>") << onPage({"http://x/a"});
    QTest::newRow("in the body") << QStringLiteral("<body><p><base href=/late/>")
                                 << onPage({"/late/r.htm", "http://x/a"});
}

void TstDocumentLinks::base()
{
    QFETCH(QString, base);
    QFETCH(QStringList, links);
    const QString html = base + QStringLiteral("<a href=r.htm></a><a href=http://x/a></a>");
    QCOMPARE(documentLinks(html, Page), links);
}

void TstDocumentLinks::parsing_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QStringList>("links");
    // <noscript> holds text up to its end tag, as in a browser that runs scripts.
    QTest::newRow("noscript end tag")
        << QStringLiteral("<noscript><a href=n></NOSCRIPT ><a href=a>") << onPage({"/dir/a"});
    QTest::newRow("noscript in noscript")
        << QStringLiteral("<noscript><noscript><a href=n></noscript><a href=a></noscript>")
        << onPage({"/dir/a"});
    QTest::newRow("noscript without end")
        << QStringLiteral("<noscript><a href=n></noscript<a href=a>") << QStringList();
    QTest::newRow("formatting reopened")
        << QStringLiteral("<p><a href=p>one<p>two</a>") << onPage({"/dir/p", "/dir/p"});
    QTest::newRow("control characters")
        << QStringLiteral("<a href='a\u0001b\u0085'>") << onPage({"/dir/a%01b%C2%85"});
    QTest::newRow("private use characters")
        << QStringLiteral("<a href='\U000F0041'>\u0001</a>") << onPage({"/dir/%F3%B0%81%81"});
}

void TstDocumentLinks::parsing()
{
    QFETCH(QString, html);
    QFETCH(QStringList, links);
    QCOMPARE(documentLinks(html, Page), links);
}

void TstDocumentLinks::address_data()
{
    QTest::addColumn<QString>("href");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("valid");
    const auto row = [](const char* tag, const char* href, const char* address, bool valid = true) {
        QTest::newRow(tag) << QString::fromUtf8(href) << QString::fromUtf8(address) << valid;
    };
    // Hosts: names in lower case and ASCII, IPv4 in any of its forms, IPv6
    // shortened; characters no name holds escaped, not refused.
    row("host case, default port", "HTTP://WWW.Ex.COM:0080/A", "http://www.ex.com/A");
    row("other port", "https://h:8443", "https://h:8443/");
    row("bad port kept", "http://h:99999/x", "http://h:99999/x", false);
    row("international name", "http://例子.测试/", "http://xn--fsqu00a.xn--0zwm56d/");
    row("transitional mapping", "http://faß.de/", "http://fass.de/");
    row("escaped name", "http://exa%41mple.com/", "http://exaample.com/");
    row("blank in name", "http://a b.com/", "http://a%20b.com/");
    row("invalid name character", "http://a^b.com/", "http://a%5Eb.com/", false);
    row("IPv4 short", "http://0x7f.1/", "http://127.0.0.1/");
    row("IPv4 octal", "http://010.0.0.1/", "http://8.0.0.1/");
    row("not IPv4", "http://1.2.3.4.5/", "http://1.2.3.4.5/");
    row("IPv4 out of range", "http://4294967296/", "http://4294967296/", false);
    row("IPv6", "http://[0:0:0:0:1:0:0:1]:80/", "http://[::1:0:0:1]/");
    row("IPv6 with IPv4", "http://[::ffff:192.168.0.1]/", "http://[::ffff:c0a8:1]/");
    row("user and password", "http://us@er:p:w@h/", "http://us%40er:p%3Aw@h/");
    // Paths: dot segments in any spelling, unreserved characters unescaped.
    row("dot segments", "a/./b/%2e%2E/../../../c", "http://h/c");
    row("unescaped", "%41%2d%7e%2F%zz", "http://h/dir/A-~%2F%zz");
    row("escaped", "a b\"<>^`{|}", "http://h/dir/a%20b%22%3C%3E%5E%60%7B%7C%7D");
    row("backslashes", "\\\\other\\x\\y", "http://other/x/y");
    row("Chinese path", "/中文/页", "http://h/%E4%B8%AD%E6%96%87/%E9%A1%B5");
    row("query characters", "?a b\"'<>`{|}\\", "http://h/dir/list.htm?a%20b%22%27%3C%3E`{|}\\");
    row("fragment characters", "#a b\"'<>`{|}中",
        "http://h/dir/list.htm#a%20b%22'%3C%3E%60{|}%E4%B8%AD");
    row("query only", "?x", "http://h/dir/list.htm?x");
    row("above the root", "../../../x", "http://h/x");
    row("file drive", "file:///c:/a/../../b", "file:///C:/b");
    row("tabs and line breaks", " \t x\ty\n.htm \r\n", "http://h/dir/xy.htm");
    // Scheme: the page's own without slashes is relative, another one is not.
    row("same scheme", "http:x.htm", "http://h/dir/x.htm");
    row("other scheme", "https:x.htm", "https://x.htm/");
    row("no authority", "http://", "http:", false);
    row("mailto", "MAILTO:a b@c?s=a b#c", "mailto:a%20b@c?s=a%20b%23c");
    row("other scheme kept", "tel:+1 555<2>", "tel:+1 555<2>");
    row("data keeps tabs", "data:text/plain,a\tb", "data:text/plain,a%09b");
}

void TstDocumentLinks::address()
{
    QFETCH(QString, href);
    QFETCH(QString, address);
    QFETCH(bool, valid);
    const WebAddress resolved(href, WebAddress(Page.toString()));
    QCOMPARE(resolved.toString(), address);
    QCOMPARE(resolved.isValid(), valid);
}

QTEST_GUILESS_MAIN(TstDocumentLinks)
#include "tst_documentlinks.moc"
