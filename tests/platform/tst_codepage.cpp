#include "platform/codepage.h"
#include "support/coresupport.h"

#include <QTest>

using namespace pagrim;

class TestCodepage : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void charLength936_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("pos");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("start");
        QTest::newRow("ascii") << QByteArray("a\xD6\xD0") << 0 << 1 << true;
        QTest::newRow("lead byte") << QByteArray("a\xD6\xD0") << 1 << 2 << true;
        QTest::newRow("trail byte is no start") << QByteArray("a\xD6\xD0") << 2 << 1 << false;
        // A trail byte in the ASCII range (0x40..0x7E) belongs to its lead.
        QTest::newRow("ascii trail") << QByteArray("\x81\x40z") << 0 << 2 << true;
        QTest::newRow("after ascii trail") << QByteArray("\x81\x40z") << 2 << 1 << true;
        QTest::newRow("0x7F is no trail") << QByteArray("\x81\x7F") << 0 << 1 << true;
        QTest::newRow("0xFF is no trail") << QByteArray("\x81\xFF") << 0 << 1 << true;
        QTest::newRow("0x80 is a character") << QByteArray("\x80\x40") << 0 << 1 << true;
        QTest::newRow("lead at the end") << QByteArray("a\xD6") << 1 << 1 << true;
        QTest::newRow("past the end") << QByteArray("a") << 1 << 0 << true;
    }
    void charLength936()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, pos);
        QFETCH(int, length);
        QFETCH(bool, start);
        QCOMPARE(codepage::charLength(bytes, pos, codepage::Gbk), qsizetype(length));
        QCOMPARE(codepage::isCharStart(bytes, pos, codepage::Gbk), start);
    }

    void convert936_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("withReferences");
        QTest::newRow("ascii") << QStringLiteral("a*b") << QByteArray("a*b") << QByteArray("a*b");
        QTest::newRow("chinese") << QStringLiteral("中文") << QByteArray("\xD6\xD0\xCE\xC4")
                                 << QByteArray("\xD6\xD0\xCE\xC4");
        QTest::newRow("outside 936")
            << QStringLiteral("a€😀") << QByteArray("a\x80?") << QByteArray("a\x80&#128512;");
        // A reference of a character 936 holds is text of its own, read back as it stands.
        QTest::newRow("reference as text")
            << QStringLiteral("&#20013;") << QByteArray("&#20013;") << QByteArray("&#20013;");
    }
    void convert936()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, withReferences);
        const test::CodePagePinned pinned(codepage::Gbk);
        QCOMPARE(codepage::fromUnicode(text), plain);
        QCOMPARE(codepage::fromUnicodeWithReferences(text), withReferences);
        QCOMPARE(codepage::toUnicodeWithReferences(withReferences), text);
        if (!plain.contains('?'))
            QCOMPARE(codepage::toUnicode(plain), text);
    }

    void brokenBytesBecomeReplacement()
    {
        QCOMPARE(codepage::toUnicode(QByteArray("a\xFFz"), codepage::Gbk),
                 QStringLiteral("a\uFFFDz"));
    }
};

QTEST_GUILESS_MAIN(TestCodepage)
#include "tst_codepage.moc"
