// The text of a page fetched without the browser: which encoding it is read
// in, and whether a Content-Type names HTML.
#include "harvest/core/bodytext.h"
#include "platform/codepage.h"

#include <QtTest>

using namespace pagrim;
using namespace pagrim::harvest;

namespace {

QByteArray gbk(const char* text)
{
    return codepage::fromUnicode(QString::fromUtf8(text), codepage::Gbk);
}

QByteArray utf16(const char* text, QStringConverter::Encoding encoding)
{
    return QStringEncoder(encoding)(QString::fromUtf8(text));
}

} // namespace

class TstBodyText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodeBody_data();
    void decodeBody();
    void isHtmlType_data();
    void isHtmlType();
};

void TstBodyText::decodeBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QString>("text");

    const QString zh = QStringLiteral("<p>中文</p>");
    QTest::newRow("header charset")
        << gbk("<p>中文</p>") << QByteArray("text/html; charset=GBK") << QByteArray("GBK") << zh;
    QTest::newRow("header label of another name, quoted")
        << gbk("<p>中文</p>") << QByteArray("text/html;charset=\"gb2312\"") << QByteArray("GBK")
        << zh;
    QTest::newRow("iso-8859-1 reads as windows-1252")
        << QByteArray("\x80\xE9") << QByteArray("text/html; charset=iso-8859-1")
        << QByteArray("windows-1252") << QStringLiteral("€é");
    QTest::newRow("BOM before header")
        << QByteArray("\xEF\xBB\xBF<p>中文</p>") << QByteArray("text/html; charset=gbk")
        << QByteArray("UTF-8") << zh;
    QTest::newRow("BOM UTF-16LE") << QByteArray("\xFF\xFE") +
                                         utf16("<p>中文</p>", QStringConverter::Utf16LE)
                                  << QByteArray("text/html") << QByteArray("UTF-16LE") << zh;
    QTest::newRow("BOM UTF-16BE") << QByteArray("\xFE\xFF") +
                                         utf16("<p>中文</p>", QStringConverter::Utf16BE)
                                  << QByteArray() << QByteArray("UTF-16BE") << zh;

    QTest::newRow("meta charset") << gbk("<html><head><meta charset=gbk><p>中文</p>")
                                  << QByteArray("text/html") << QByteArray("GBK")
                                  << QStringLiteral("<html><head><meta charset=gbk><p>中文</p>");
    QTest::newRow("http-equiv")
        << gbk("<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=gb2312'>中")
        << QByteArray("text/html") << QByteArray("GBK")
        << QStringLiteral("<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=gb2312'>中");
    // GBK pages are read as GB18030, whose four-byte characters they may hold.
    QTest::newRow("GBK page") << gbk("<meta charset=\"gbk\"><p>中文</p>") + "\x81\x30\x81\x30"
                              << QByteArray() << QByteArray("GBK")
                              << QStringLiteral("<meta charset=\"gbk\"><p>中文</p>\u0080");
    QTest::newRow("unknown header label: meta")
        << gbk("<meta charset=gbk>中") << QByteArray("text/html; charset=nonesuch")
        << QByteArray("GBK") << QStringLiteral("<meta charset=gbk>中");

    // Declarations that are none: the default, UTF-8.
    const QByteArray utf8 = QByteArray("UTF-8");
    QTest::newRow("default") << QByteArray("<p>中文</p>") << QByteArray("text/html") << utf8 << zh;
    QTest::newRow("bad bytes") << QByteArray("a\xFF") << QByteArray() << utf8
                               << QStringLiteral("a\uFFFD");
    const QByteArray hidden = "<!-- <meta charset=gbk> --><script>'<meta charset=gbk>'</script>"
                              "<meta content='text/html; charset=gbk'>";
    QTest::newRow("comment, script, content without http-equiv")
        << hidden << QByteArray() << utf8 << QString::fromLatin1(hidden);
    const QByteArray utf16Meta = "<meta charset=utf-16>";
    QTest::newRow("meta utf-16") << utf16Meta << QByteArray() << utf8
                                 << QString::fromLatin1(utf16Meta);

    // Past 1,024 bytes only a meta in the head counts.
    const QByteArray pad(1100, 'x');
    const QByteArray inHead = "<head><title>" + pad + "</title><meta charset=windows-1251>";
    QTest::newRow("late meta in head")
        << inHead << QByteArray() << QByteArray("windows-1251") << QString::fromLatin1(inHead);
    const QByteArray inBody = "<body><p>" + pad + "</p><meta charset=windows-1251>";
    QTest::newRow("late meta in body")
        << inBody << QByteArray() << utf8 << QString::fromLatin1(inBody);
}

void TstBodyText::decodeBody()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, encoding);
    QFETCH(QString, text);
    QCOMPARE(bodyEncoding(body, contentType), encoding);
    QCOMPARE(harvest::decodeBody(body, contentType), text);
}

void TstBodyText::isHtmlType_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<bool>("html");
    QTest::newRow("html") << QByteArray("text/html") << true;
    QTest::newRow("case and parameters") << QByteArray(" Text/HTML ; charset=gbk") << true;
    QTest::newRow("xhtml") << QByteArray("application/xhtml+xml") << true;
    QTest::newRow("text") << QByteArray("text/plain; charset=utf-8") << false;
    QTest::newRow("longer type") << QByteArray("text/html-sandboxed") << false;
    QTest::newRow("none") << QByteArray() << false;
}

void TstBodyText::isHtmlType()
{
    QFETCH(QByteArray, contentType);
    QFETCH(bool, html);
    QCOMPARE(harvest::isHtmlType(contentType), html);
}

QTEST_GUILESS_MAIN(TstBodyText)
#include "tst_bodytext.moc"
