// The conversion between stored values, text and typed reads that every reader
// and writer of a data set shares.
#include "platform/errors.h"
#include "store/fieldvalue.h"

#include <QtTest>

using namespace pagrim;
using namespace pagrim::store;

Q_DECLARE_METATYPE(pagrim::store::FieldType)

class TestFieldValue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What a value written to a field becomes; an invalid "expected" means refused.
    void written_data()
    {
        QTest::addColumn<FieldType>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected");
        const QVariant refused;
        const auto text = [](const char* s) { return QVariant(QString::fromUtf8(s)); };
        QTest::newRow("integer text") << FieldType::Integer << text(" 12 ") << QVariant(12);
        QTest::newRow("integer from bool") << FieldType::Integer << QVariant(true) << QVariant(1);
        QTest::newRow("integer letters") << FieldType::Integer << text("x1") << refused;
        QTest::newRow("integer fraction") << FieldType::Integer << text("1.5") << refused;
        QTest::newRow("integer empty") << FieldType::Integer << text("") << refused;
        QTest::newRow("float text") << FieldType::Float << text("2.5") << QVariant(2.5);
        QTest::newRow("float letters") << FieldType::Float << text("abc") << refused;
        QTest::newRow("boolean TRUE") << FieldType::Boolean << text(" TRUE ") << QVariant(true);
        QTest::newRow("boolean 0") << FieldType::Boolean << text("0") << QVariant(false);
        QTest::newRow("boolean 2") << FieldType::Boolean << text("2") << QVariant(true);
        QTest::newRow("boolean number") << FieldType::Boolean << QVariant(5) << QVariant(true);
        QTest::newRow("boolean maybe") << FieldType::Boolean << text("maybe") << refused;
        QTest::newRow("date text") << FieldType::DateTime << text("2024-02-29 23:05:09")
                                   << QVariant(QDateTime(QDate(2024, 2, 29), QTime(23, 5, 9)));
        // A stored value that is no date is carried as it is (a copied row).
        QTest::newRow("date kept") << FieldType::DateTime << text("soon") << text("soon");
        QTest::newRow("string number") << FieldType::String << QVariant(7) << text("7");
        QTest::newRow("string empty stays") << FieldType::String << text("") << text("");
        QTest::newRow("variant kept") << FieldType::Variant << QVariant(7) << QVariant(7);
    }
    void written()
    {
        QFETCH(FieldType, type);
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        if (!expected.isValid()) {
            QVERIFY_THROWS_EXCEPTION(ConversionError, toFieldValue(value, type));
            return;
        }
        const QVariant got = toFieldValue(value, type);
        QCOMPARE(got, expected);
        QCOMPARE(got.typeId(), expected.typeId());
        QVERIFY(toFieldValue(QVariant(), type).isNull());
    }

    // Typed text: blank is NULL (for text, only the empty string); a date must be one.
    void typed_data()
    {
        QTest::addColumn<FieldType>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<bool>("refused");
        QTest::newRow("blank integer")
            << FieldType::Integer << QStringLiteral("  ") << QVariant() << false;
        QTest::newRow("blank boolean")
            << FieldType::Boolean << QStringLiteral(" ") << QVariant() << false;
        QTest::newRow("blank date") << FieldType::DateTime << QString() << QVariant() << false;
        QTest::newRow("empty text") << FieldType::String << QString() << QVariant() << false;
        QTest::newRow("blank text kept")
            << FieldType::String << QStringLiteral(" ") << QVariant(QStringLiteral(" ")) << false;
        QTest::newRow("integer") << FieldType::Integer << QStringLiteral("-3 ") << QVariant(-3)
                                 << false;
        QTest::newRow("no date") << FieldType::DateTime << QStringLiteral("soon") << QVariant()
                                 << true;
    }
    void typed()
    {
        QFETCH(FieldType, type);
        QFETCH(QString, text);
        QFETCH(QVariant, expected);
        QFETCH(bool, refused);
        if (refused) {
            QVERIFY_THROWS_EXCEPTION(ConversionError, fromText(text, type));
            return;
        }
        const QVariant got = fromText(text, type);
        QCOMPARE(got.isNull(), expected.isNull());
        QCOMPARE(got, expected);
    }

    // The typed reads of one value, as every field and the check-box cell read it.
    void reads_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("integer");
        QTest::addColumn<bool>("boolean");
        QTest::addColumn<QString>("text");
        QTest::newRow("null") << QVariant() << 0 << false << QString();
        QTest::newRow("true") << QVariant(true) << 1 << true << QStringLiteral("True");
        QTest::newRow("false") << QVariant(false) << 0 << false << QStringLiteral("False");
        QTest::newRow("text 2") << QVariant(QStringLiteral("2")) << 2 << true
                                << QStringLiteral("2");
        QTest::newRow("text 0") << QVariant(QStringLiteral(" 0 ")) << 0 << false
                                << QStringLiteral(" 0 ");
        QTest::newRow("date") << QVariant(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5))) << -1
                              << false << QStringLiteral("2024-01-02 03:04:05");
    }
    void reads()
    {
        QFETCH(QVariant, value);
        QFETCH(int, integer);
        if (integer >= 0)
            QCOMPARE(toInteger(value), integer);
        QTEST(toBoolean(value), "boolean");
        QTEST(toText(value), "text");
        QVERIFY_THROWS_EXCEPTION(ConversionError, toInteger(QVariant(QStringLiteral("1x"))));
        QCOMPARE(toBoolean(QVariant(QStringLiteral("TRUE"))), true);
        QCOMPARE(toBoolean(QVariant(QStringLiteral("yes"))), false);
    }

    // Values as the engine returns them, read in the type of their column.
    void fromTheEngine_data()
    {
        QTest::addColumn<QString>("declared");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("bool from 1")
            << QStringLiteral("BOOLEAN") << QVariant(qint64(1)) << QVariant(true);
        QTest::newRow("bool from text 2")
            << QStringLiteral("bit") << QVariant(QStringLiteral("2")) << QVariant(true);
        QTest::newRow("bool from text true")
            << QStringLiteral("YESNO") << QVariant(QStringLiteral("true")) << QVariant(true);
        QTest::newRow("int") << QStringLiteral("integer") << QVariant(qint64(7)) << QVariant(7);
        QTest::newRow("counter") << QStringLiteral("COUNTER") << QVariant(qint64(7)) << QVariant(7);
        QTest::newRow("date") << QStringLiteral("DATETIME")
                              << QVariant(QStringLiteral("2024-02-29 23:05:09"))
                              << QVariant(QDateTime(QDate(2024, 2, 29), QTime(23, 5, 9)));
        QTest::newRow("iso date") << QStringLiteral("timestamp")
                                  << QVariant(QStringLiteral("2024-02-29T23:05:09"))
                                  << QVariant(QDateTime(QDate(2024, 2, 29), QTime(23, 5, 9)));
        QTest::newRow("no date") << QStringLiteral("date") << QVariant(QStringLiteral("x"))
                                 << QVariant(QStringLiteral("x"));
        QTest::newRow("text") << QStringLiteral("varchar(255)") << QVariant(qint64(5))
                              << QVariant(QStringLiteral("5"));
        QTest::newRow("float") << QStringLiteral("double") << QVariant(qint64(5)) << QVariant(5.0);
        QTest::newRow("undeclared") << QString() << QVariant(qint64(5)) << QVariant(qint64(5));
    }
    void fromTheEngine()
    {
        QFETCH(QString, declared);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, expected);
        const QVariant got = fromEngine(stored, fieldTypeOf(declared));
        QCOMPARE(got, expected);
        QCOMPARE(got.typeId(), expected.typeId());
        QVERIFY(fromEngine(QVariant(), fieldTypeOf(declared)).isNull());
    }

    void declaredWidths()
    {
        QCOMPARE(fieldSizeOf(QStringLiteral("varchar(255)")), 255);
        QCOMPARE(fieldSizeOf(QStringLiteral("VARCHAR ( 50 )")), 50);
        QCOMPARE(fieldSizeOf(QStringLiteral("text")), 0);
    }
};

QTEST_GUILESS_MAIN(TestFieldValue)
#include "tst_fieldvalue.moc"
