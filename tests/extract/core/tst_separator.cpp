#include "extract/core/separator.h"

#include <QTest>

using pagrim::extract::SplitBySeparator;

class TestSeparator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void split_data()
    {
        using Parts = QList<QByteArray>;
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("separator");
        QTest::addColumn<Parts>("parts");
        QTest::newRow("empty line") << QByteArray() << QByteArray("*") << Parts{""};
        QTest::newRow("no separator") << QByteArray("abc") << QByteArray("*") << Parts{"abc"};
        QTest::newRow("values") << QByteArray("1*a*b") << QByteArray("*") << Parts{"1", "a", "b"};
        QTest::newRow("at both ends") << QByteArray("*a*") << QByteArray("*") << Parts{"", "a", ""};
        QTest::newRow("two in a row")
            << QByteArray("a**b") << QByteArray("*") << Parts{"a", "", "b"};
        QTest::newRow("separator alone") << QByteArray("*") << QByteArray("*") << Parts{"", ""};
        QTest::newRow("empty separator") << QByteArray("a*b") << QByteArray() << Parts{"a*b"};
        QTest::newRow("empty separator, empty line") << QByteArray() << QByteArray() << Parts{""};
        QTest::newRow("multi-byte")
            << QByteArray("a||b||") << QByteArray("||") << Parts{"a", "b", ""};
        // The next search starts after the separator just found.
        QTest::newRow("overlapping") << QByteArray("a***b") << QByteArray("**") << Parts{"a", "*b"};
        QTest::newRow("separator longer than line")
            << QByteArray("a") << QByteArray("abc") << Parts{"a"};
        // GBK: "中" is D6 D0. In B0 D6 D0 CE the separator starts at the trail
        // byte of the first character and still splits there.
        QTest::newRow("gbk separator whole")
            << QByteArray("\xD0\xF2\xD6\xD0\xBA\xC5") << QByteArray("\xD6\xD0")
            << Parts{"\xD0\xF2", "\xBA\xC5"};
        QTest::newRow("gbk separator inside characters")
            << QByteArray("\xB0\xD6\xD0\xCE") << QByteArray("\xD6\xD0") << Parts{"\xB0", "\xCE"};
        // 81 7C is one GBK character whose trail byte is "|".
        QTest::newRow("gbk trail byte is the separator")
            << QByteArray("\x81\x7C|b") << QByteArray("|") << Parts{"\x81", "", "b"};
        QTest::newRow("nul bytes") << QByteArray("a\0*\0b", 5) << QByteArray("*")
                                   << Parts{QByteArray("a\0", 2), QByteArray("\0b", 2)};
    }
    void split()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, separator);
        QFETCH(QList<QByteArray>, parts);
        QCOMPARE(SplitBySeparator(line, separator), parts);
    }
};

QTEST_GUILESS_MAIN(TestSeparator)
#include "tst_separator.moc"
