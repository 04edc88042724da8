#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/profile.h"

#include "support/coresupport.h"
#include "support/filesizelimit.h"
#include <QFile>
#include <QTemporaryDir>

#include <QTest>

using namespace pagrim;

namespace {

using test::contents;
using test::put;

const QString S = QStringLiteral("SysConfig");
const QString K = QStringLiteral("Separator");

} // namespace

class TestProfile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("Pagrim.ini"));
        QFile::remove(m_path);
    }
    void cleanup()
    {
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    void readString_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* file, const char* expected) {
            QTest::newRow(name) << QByteArray(file) << QString::fromUtf8(expected);
        };
        row("plain", "[SysConfig]\r\nSeparator=|\r\n", "|");
        row("LF only", "[SysConfig]\nSeparator=|\n", "|");
        row("no final line end", "[SysConfig]\r\nSeparator=|", "|");
        row("case of section and key", "[sysconfig]\r\nSEPARATOR=|\r\n", "|");
        row("blanks around", "[SysConfig]\r\n  Separator \t=  a b \t\r\n", "a b");
        row("double quotes", "[SysConfig]\r\nSeparator=\" a \"\r\n", " a ");
        row("single quotes", "[SysConfig]\r\nSeparator='a'\r\n", "a");
        row("one pair only", "[SysConfig]\r\nSeparator=\"\"a\"\"\r\n", "\"a\"");
        row("unmatched quote", "[SysConfig]\r\nSeparator=\"a\r\n", "\"a");
        row("lone quote", "[SysConfig]\r\nSeparator=\"\r\n", "\"");
        row("empty value", "[SysConfig]\r\nSeparator=\r\n", "");
        row("blanks only", "[SysConfig]\r\nSeparator=   \r\n", "");
        row("equals in value", "[SysConfig]\r\nSeparator=a=b\r\n", "a=b");
        row("first of twice", "[SysConfig]\r\nSeparator=1\r\nSeparator=2\r\n", "1");
        row("first section of twice", "[SysConfig]\r\nX=1\r\n[SysConfig]\r\nSeparator=2\r\n",
            "<default>");
        row("missing key", "[SysConfig]\r\nWorkPath=/w/\r\n", "<default>");
        row("key without equals", "[SysConfig]\r\nSeparator\r\n", "<default>");
        row("other section", "[Other]\r\nSeparator=|\r\n[SysConfig]\r\n", "<default>");
        row("before any section", "Separator=|\r\n[SysConfig]\r\n", "<default>");
        row("comment", "[SysConfig]\r\n;Separator=|\r\n", "<default>");
        row("empty file", "", "<default>");
    }
    void readString()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        put(m_path, file);
        QCOMPARE(profile::readString(m_path, S, K, QStringLiteral("<default>")), expected);
    }

    void missingFileGivesDefault()
    {
        QCOMPARE(profile::readString(m_path, S, K, QStringLiteral("*")), QStringLiteral("*"));
        QCOMPARE(profile::readInteger(m_path, S, K, 10), 10);
        QVERIFY(!QFile::exists(m_path));
    }

    void readCapsAtCharacterStart_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        const QString a2047(2047, QLatin1Char('a'));
        QTest::newRow("ascii") << codepage::Utf8 << a2047 + QStringLiteral("bc") << a2047;
        QTest::newRow("exactly 2047") << codepage::Utf8 << a2047 << a2047;
        // 2046 + 2 bytes would pass the limit: the double-byte character goes whole.
        QTest::newRow("936 lead at 2046")
            << codepage::Gbk << QString(2046, QLatin1Char('a')) + QStringLiteral("中")
            << QString(2046, QLatin1Char('a'));
        QTest::newRow("936 fits") << codepage::Gbk
                                  << QString(2045, QLatin1Char('a')) + QStringLiteral("中")
                                  << QString(2045, QLatin1Char('a')) + QStringLiteral("中");
        QTest::newRow("utf-8 three bytes")
            << codepage::Utf8 << QString(2045, QLatin1Char('a')) + QStringLiteral("中")
            << QString(2045, QLatin1Char('a'));
    }
    void readCapsAtCharacterStart()
    {
        QFETCH(int, codePage);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        const test::CodePagePinned pinned(codePage);
        profile::writeString(m_path, S, K, value);
        QCOMPARE(profile::readString(m_path, S, K, QString()), expected);
    }

    void readInteger_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QByteArray("30") << 30;
        QTest::newRow("blanks") << QByteArray("  40 ") << 40;
        QTest::newRow("negative") << QByteArray("-5") << -5;
        QTest::newRow("plus") << QByteArray("+7") << 7;
        QTest::newRow("hex") << QByteArray("0x14") << 20;
        QTest::newRow("HEX") << QByteArray("0XfF") << 255;
        QTest::newRow("quoted") << QByteArray("\"50\"") << 50;
        QTest::newRow("letters") << QByteArray("abc") << 10;
        QTest::newRow("trailing letters") << QByteArray("12abc") << 10;
        QTest::newRow("inner blank") << QByteArray("1 2") << 10;
        QTest::newRow("bare 0x") << QByteArray("0x") << 10;
        QTest::newRow("signed hex") << QByteArray("0x-1") << 10;
        QTest::newRow("sign only") << QByteArray("-") << 10;
        QTest::newRow("empty") << QByteArray("") << 10;
        QTest::newRow("too big") << QByteArray("2147483648") << 10;
        QTest::newRow("int max") << QByteArray("2147483647") << 2147483647;
        QTest::newRow("full-width digits") << QByteArray("\xEF\xBC\x91") << 10;
    }
    void readInteger()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, expected);
        put(m_path, "[SysConfig]\r\nTestValue=" + stored + "\r\n");
        QCOMPARE(profile::readInteger(m_path, S, QStringLiteral("testvalue"), 10), expected);
    }

    void writeRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("star") << QStringLiteral("*") << QStringLiteral("*");
        QTest::newRow("empty stays empty") << QString() << QString();
        QTest::newRow("blanks read back empty") << QStringLiteral("   ") << QString();
        QTest::newRow("inner blanks kept") << QStringLiteral("a  b") << QStringLiteral("a  b");
        QTest::newRow("quotes dropped") << QStringLiteral("\"|\"") << QStringLiteral("|");
        QTest::newRow("line break") << QStringLiteral("a\r\n[X]") << QStringLiteral("a  [X]");
    }
    void writeRoundTrip()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        profile::writeString(m_path, S, K, value);
        QCOMPARE(profile::readString(m_path, S, K, QStringLiteral("*")), expected);
        QCOMPARE(contents(m_path).count('\n'), 2);
    }

    void firstWriteCreatesFile()
    {
        profile::writeString(m_path, S, QStringLiteral("WorkPath"), QStringLiteral("/w/"));
        QCOMPARE(contents(m_path), QByteArray("[SysConfig]\r\nWorkPath=/w/\r\n"));
    }

    void writeKeepsEverythingElse()
    {
        put(m_path, "; settings\r\n[A]\r\nx=1\r\n\r\n[sysconfig]\r\nworkpath = old\r\n"
                    "TestValue=10\r\n\r\n[B]\r\ny=2\r\n");
        profile::writeString(m_path, S, QStringLiteral("WorkPath"), QStringLiteral("/new/"));
        profile::writeString(m_path, S, K, QStringLiteral("|"));
        profile::writeString(m_path, QStringLiteral("frmMain-DBGrid1"), QStringLiteral("OrdNO"),
                             QStringLiteral("100"));
        QCOMPARE(contents(m_path),
                 QByteArray("; settings\r\n[A]\r\nx=1\r\n\r\n[sysconfig]\r\nworkpath=/new/\r\n"
                            "TestValue=10\r\nSeparator=|\r\n\r\n[B]\r\ny=2\r\n"
                            "[frmMain-DBGrid1]\r\nOrdNO=100\r\n"));
    }

    void writeKeepsLineEnds()
    {
        put(m_path, "[SysConfig]\nTestValue=10");
        profile::writeString(m_path, S, QStringLiteral("TestValue"), QStringLiteral("20"));
        QCOMPARE(contents(m_path), QByteArray("[SysConfig]\nTestValue=20\n"));
    }

    void fileIsInProgramCodePage()
    {
        const test::CodePagePinned pinned(codepage::Gbk);
        profile::writeString(m_path, S, QStringLiteral("WorkPath"), QStringLiteral("/数据/"));
        QCOMPARE(contents(m_path), QByteArray("[SysConfig]\r\nWorkPath=/\xCA\xFD\xBE\xDD/\r\n"));
        QCOMPARE(profile::readString(m_path, S, QStringLiteral("WorkPath"), QString()),
                 QStringLiteral("/数据/"));
    }

    void replacedFileKeepsModeAndLink()
    {
        const QString real = m_dir.filePath(QStringLiteral("real.ini"));
        put(real, "[SysConfig]\r\n");
        QVERIFY(QFile::setPermissions(real, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadGroup | QFileDevice::WriteGroup));
        QFile::remove(m_path);
        QVERIFY(QFile::link(real, m_path));
        profile::writeString(m_path, S, K, QStringLiteral("|"));
        QVERIFY(QFileInfo(m_path).isSymLink());
        QVERIFY(contents(real).contains("|"));
        QCOMPARE(QFile::permissions(real) & 0x0ff,
                 QFileDevice::ReadGroup | QFileDevice::WriteGroup);
    }

    void readOnlyFileRefusesWrite()
    {
        const QByteArray before("[SysConfig]\r\nWorkPath=/w/\r\n");
        put(m_path, before);
        QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                  QFileDevice::ReadOther));
        try {
            profile::writeString(m_path, S, K, QStringLiteral("|"));
            QFAIL("the write went through");
        } catch (const Error& e) {
            QCOMPARE(e.message(), QStringLiteral("Unable to write to ") + m_path);
        }
        QCOMPARE(contents(m_path), before);
    }

    void fullDiskLeavesFileWhole()
    {
        const QByteArray before("[SysConfig]\r\nWorkPath=/w/\r\n");
        put(m_path, before);
        bool refused = false;
        {
            test::FileSizeLimit limit(rlim_t(before.size() + 4));
            try {
                profile::writeString(m_path, S, K, QStringLiteral("|||"));
            } catch (const Error&) {
                refused = true;
            }
        }
        QVERIFY(refused);
        QCOMPARE(contents(m_path), before);
    }

    void missingFolderRefusesWrite()
    {
        const QString path = m_dir.filePath(QStringLiteral("no/such/Pagrim.ini"));
        QVERIFY_THROWS_EXCEPTION(Error, profile::writeString(path, S, K, QStringLiteral("|")));
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
