// The field set of a task on a real store: new rows, select all/none, the
// switch of one row, the order of the rows and what a marker may hold.
#include "extract/core/fieldset.h"
#include "platform/errors.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "support/coresupport.h"

#include <QSignalSpy>
#include <QtTest>

using namespace pagrim;
using store::DataSet;

class TstFieldSet : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void newField_data();
    void newField();
    void cancelledAndDeletedGiveAgain();
    void rowsInKeyOrder();
    void setAll_data();
    void setAll();
    void setAllStoresPendingRowFirst();
    void emptyListDoesNothing();
    void switchStoresTypedText();
    void refusedWriteKeepsRowPending();
    void markersHoldAnyText_data();
    void markersHoldAnyText();

private:
    void exec(const QString& sql) { m_conn->database().exec(sql); }
    int number(const QString& sql);
    void addDesc(int id, int task, const QString& name, bool need);
    // The field query on the given task, its new rows filled as the window does.
    std::unique_ptr<DataSet> fieldsOf(int task);
    QString names(DataSet& ds);

    std::unique_ptr<test::TempWorld> m_world;
    std::unique_ptr<store::Connection> m_conn;
};

void TstFieldSet::init()
{
    m_world = std::make_unique<test::TempWorld>();
    m_conn = std::make_unique<store::Connection>();
    m_conn->open();
    test::addTask(m_world->storePath(), 1, QStringLiteral("a"));
    test::addTask(m_world->storePath(), 2, QStringLiteral("b"));
}

void TstFieldSet::cleanup()
{
    m_conn.reset();
    m_world.reset();
}

int TstFieldSet::number(const QString& sql)
{
    auto q = store::CreateScratchQuery(*m_conn);
    q->setCommandText(sql);
    q->open();
    return q->field(0).asInteger();
}

void TstFieldSet::addDesc(int id, int task, const QString& name, bool need)
{
    exec(QStringLiteral("insert into Descs (DescID, TaskID, DescName, DescNeed) "
                        "values (%1, %2, '%3', %4)")
             .arg(id)
             .arg(task)
             .arg(name)
             .arg(need ? 1 : 0));
}

std::unique_ptr<DataSet> TstFieldSet::fieldsOf(int task)
{
    auto ds = std::make_unique<DataSet>(*m_conn);
    ds->setCommandText(QStringLiteral("select * from descs where taskid=:taskid"));
    ds->setParameter(QStringLiteral("taskid"), task);
    ds->setAfterInsert([this, task](DataSet& d) { extract::FillNewField(d, *m_conn, task); });
    ds->open();
    return ds;
}

QString TstFieldSet::names(DataSet& ds)
{
    QStringList out;
    for (int r = 0; r < ds.recordCount(); ++r)
        out << ds.displayText(r, ds.fieldIndex(QStringLiteral("DescName"))) +
                   (ds.valueAt(r, ds.fieldIndex(QStringLiteral("DescNeed"))).toBool()
                        ? QStringLiteral("+")
                        : QStringLiteral("-"));
    return out.join(QLatin1Char(' '));
}

void TstFieldSet::newField_data()
{
    QTest::addColumn<QString>("existing"); // id:task pairs
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("name");
    QTest::newRow("empty table") << "" << 1 << "提取字段1";
    QTest::newRow("first of a task, other tasks have fields") << "4:2 9:2" << 10 << "提取字段1";
    QTest::newRow("third of a task") << "3:1 5:1 7:2" << 8 << "提取字段3";
}

void TstFieldSet::newField()
{
    QFETCH(QString, existing);
    QFETCH(int, key);
    QFETCH(QString, name);
    for (const QString& pair : existing.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList p = pair.split(QLatin1Char(':'));
        addDesc(p[0].toInt(), p[1].toInt(), QStringLiteral("x"), false);
    }
    auto ds = fieldsOf(1);
    ds->append();
    QCOMPARE(ds->state(), DataSet::State::Insert);
    QCOMPARE(ds->field(QStringLiteral("DescID")).asInteger(), key);
    QCOMPARE(ds->field(QStringLiteral("TaskID")).asInteger(), 1);
    QCOMPARE(ds->field(QStringLiteral("DescName")).asString(), name);
    QCOMPARE(ds->field(QStringLiteral("DescNeed")).asBoolean(), true);
    QVERIFY(ds->field(QStringLiteral("DescStart")).isNull());
    QVERIFY(ds->field(QStringLiteral("DescEnd")).isNull());
    // Nothing reaches the store before the row is stored.
    QCOMPARE(number(QStringLiteral("select count(*) from Descs where DescID = %1").arg(key)), 0);
    ds->post();
    QCOMPARE(number(QStringLiteral("select DescNeed from Descs where DescID = %1").arg(key)), 1);
}

void TstFieldSet::cancelledAndDeletedGiveAgain()
{
    auto ds = fieldsOf(1);
    ds->append();
    ds->post(); // 1, 提取字段1
    ds->append();
    QCOMPARE(ds->field(QStringLiteral("DescID")).asInteger(), 2);
    ds->cancel();
    QCOMPARE(number(QStringLiteral("select count(*) from Descs")), 1);
    ds->append();
    QCOMPARE(ds->field(QStringLiteral("DescID")).asInteger(), 2);
    QCOMPARE(ds->field(QStringLiteral("DescName")).asString(), QStringLiteral("提取字段2"));
    ds->post();
    // The first deleted: the count gives the number 2 again, the key goes on.
    ds->first();
    ds->deleteRecord();
    ds->append();
    QCOMPARE(ds->field(QStringLiteral("DescName")).asString(), QStringLiteral("提取字段2"));
    QCOMPARE(ds->field(QStringLiteral("DescID")).asInteger(), 3);
    // The largest deleted: its key comes again.
    ds->post();
    ds->last();
    ds->deleteRecord();
    ds->append();
    QCOMPARE(ds->field(QStringLiteral("DescID")).asInteger(), 3);
}

void TstFieldSet::rowsInKeyOrder()
{
    // Stored in another order than their keys, and moved through updates.
    addDesc(7, 1, QStringLiteral("c"), true);
    addDesc(2, 1, QStringLiteral("a"), true);
    addDesc(4, 2, QStringLiteral("other"), true);
    addDesc(5, 1, QStringLiteral("b"), true);
    auto ds = fieldsOf(1);
    QCOMPARE(names(*ds), QStringLiteral("a+ b+ c+"));
    ds->append(); // key 8
    ds->post();
    ds->close();
    ds->open();
    QCOMPARE(names(*ds), QStringLiteral("a+ b+ c+ 提取字段4+"));
}

void TstFieldSet::setAll_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("value");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("writes");
    QTest::newRow("select all, all selected") << "+++" << true << "a+ b+ c+" << 0;
    QTest::newRow("select all, mixed") << "+-+" << true << "a+ b+ c+" << 1;
    QTest::newRow("select none, mixed") << "+--" << false << "a- b- c-" << 1;
    QTest::newRow("select none, all selected") << "+++" << false << "a- b- c-" << 3;
}

void TstFieldSet::setAll()
{
    QFETCH(QString, before);
    QFETCH(bool, value);
    QFETCH(QString, after);
    QFETCH(int, writes);
    for (int i = 0; i < 3; ++i)
        addDesc(i + 1, 1, QString(QChar(u'a' + i)), before[i] == QLatin1Char('+'));
    exec(QStringLiteral("create table Writes (n integer); create trigger counted after update on "
                        "Descs begin insert into Writes values (1); end"));
    auto ds = fieldsOf(1);
    ds->moveTo(1);
    QSignalSpy rows(ds.get(), &DataSet::rowChanged);
    QSignalSpy current(ds.get(), &DataSet::currentChanged);
    extract::SetAllDescNeed(*ds, value);
    QCOMPARE(names(*ds), after);
    QCOMPARE(number(QStringLiteral("select count(*) from Writes")), writes);
    QCOMPARE(ds->currentRow(), 2);
    // The bound controls heard of the walk once, at its end.
    QCOMPARE(current.count(), 1);
    QCOMPARE(rows.count(), writes);
}

void TstFieldSet::setAllStoresPendingRowFirst()
{
    addDesc(1, 1, QStringLiteral("a"), true);
    auto ds = fieldsOf(1);
    ds->append();
    ds->field(QStringLiteral("DescName")).setValue(QStringLiteral("typed"));
    extract::SetAllDescNeed(*ds, false);
    QCOMPARE(names(*ds), QStringLiteral("a- typed-"));
    QCOMPARE(number(QStringLiteral("select count(*) from Descs where DescNeed = 0")), 2);
}

void TstFieldSet::emptyListDoesNothing()
{
    auto ds = fieldsOf(1);
    QSignalSpy state(ds.get(), &DataSet::stateChanged);
    extract::SetAllDescNeed(*ds, true);
    extract::SetAllDescNeed(*ds, false);
    extract::SwitchDescNeed(*ds);
    QVERIFY(ds->isEmpty());
    QCOMPARE(state.count(), 0);
    QCOMPARE(number(QStringLiteral("select count(*) from Descs")), 0);
}

void TstFieldSet::switchStoresTypedText()
{
    addDesc(1, 1, QStringLiteral("a"), true);
    addDesc(2, 1, QStringLiteral("b"), false);
    auto ds = fieldsOf(1);
    ds->moveTo(1);
    ds->edit();
    ds->field(QStringLiteral("DescName")).setValue(QStringLiteral("新名"));
    extract::SwitchDescNeed(*ds);
    QCOMPARE(ds->state(), DataSet::State::Browse);
    QCOMPARE(ds->currentRow(), 1);
    QCOMPARE(number(QStringLiteral("select count(*) from Descs where DescID = 2 and "
                                   "DescNeed = 1 and DescName = '新名'")),
             1);
    extract::SwitchDescNeed(*ds);
    QCOMPARE(names(*ds), QStringLiteral("a+ 新名-"));
}

void TstFieldSet::refusedWriteKeepsRowPending()
{
    addDesc(1, 1, QStringLiteral("a"), true);
    auto ds = fieldsOf(1);
    exec(QStringLiteral("create trigger refuse before update on Descs begin "
                        "select raise(abort, 'refused by the store'); end"));
    ds->edit();
    ds->field(QStringLiteral("DescName")).setValue(QStringLiteral("typed"));
    try {
        extract::SwitchDescNeed(*ds);
        QFAIL("the write was not refused");
    } catch (const DatabaseError& e) {
        QVERIFY2(e.message().contains(QStringLiteral("refused by the store")),
                 qPrintable(e.message()));
    }
    QCOMPARE(ds->state(), DataSet::State::Edit);
    QCOMPARE(ds->field(QStringLiteral("DescName")).asString(), QStringLiteral("typed"));
    QCOMPARE(number(QStringLiteral("select DescNeed from Descs")), 1);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, extract::SetAllDescNeed(*ds, false));
    QCOMPARE(ds->state(), DataSet::State::Edit);
}

void TstFieldSet::markersHoldAnyText_data()
{
    QTest::addColumn<QString>("marker");
    QTest::newRow("quotes") << QStringLiteral("<a href=\"x\" title='y'>");
    QTest::newRow("wildcards") << QStringLiteral("100% * _ [a] :taskid ?");
    QTest::newRow("line breaks") << QStringLiteral("</td>\r\n<td class=\"v\">\r\n");
    QTest::newRow("chinese") << QStringLiteral("作者：");
    QTest::newRow("10000 characters")
        << QString(5000, QChar(u'标')) + QString(5000, QLatin1Char('\''));
}

void TstFieldSet::markersHoldAnyText()
{
    QFETCH(QString, marker);
    auto ds = fieldsOf(1);
    ds->append();
    ds->field(QStringLiteral("DescStart")).setValue(marker);
    ds->field(QStringLiteral("DescEnd")).setValue(marker + QStringLiteral("end"));
    ds->post();
    auto again = fieldsOf(1);
    QCOMPARE(again->field(QStringLiteral("DescStart")).asString(), marker);
    QCOMPARE(again->field(QStringLiteral("DescEnd")).asString(), marker + QStringLiteral("end"));
}

QTEST_GUILESS_MAIN(TstFieldSet)
#include "tst_fieldset.moc"
