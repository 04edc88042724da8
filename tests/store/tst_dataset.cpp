// The data set behind the task query, the field-set query and scratch queries,
// on a real store made by the same code as pagrim-mkstore.
#include "platform/errors.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "support/coresupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#include <sqlite3.h>
#include <thread>

using namespace pagrim;
using namespace pagrim::store;

namespace {
const QString taskQuery = QStringLiteral("select * from tasks order by TaskID");
const QString descQuery = QStringLiteral("select * from descs where taskid=:taskid");
const QString maxTask = QStringLiteral("select max(TaskID) from Tasks ");
const QString maxDesc = QStringLiteral("select max(DescID) from Descs ");
} // namespace

class TestDataSet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void statesAndTransitions();
    void postedInsertShowsAtOnce();
    void editPostAndCancel();
    void postWrittenOnAnotherThread();
    void cancelledAppendLeavesNoTrace();
    void deleteShowsAtOnce();
    void keyAllocation_data();
    void keyAllocation();
    void fieldsByNameInAnyCase_data();
    void fieldsByNameInAnyCase();
    void fieldsByPositionInSchemaOrder();
    void nullReadsAsZeroEmptyFalse();
    void valuesRoundTrip();
    void conversionErrorLeavesValue();
    void recordNumbers();
    void movingOffPendingRowPostsIt();
    void masterLinkReruns();
    void masterMovePostsPendingDetail();
    void suspendedNotices();
    void texts255StoredWhole_data();
    void texts255StoredWhole();
    void text256RefusedAndRowKept();
    void readOnlyStoreLosesNothing();
    void lockedStoreFailsWithEngineMessage();
    void updateOfVanishedRowFails();
    void failedDeleteKeepsRow();
    void calculatedField();

private:
    void exec(const QString& sql) { m_conn->database().exec(sql); }
    int count(const QString& sql);
    std::unique_ptr<DataSet> openTasks();
    void appendTask(DataSet& ds, const QString& name);

    std::unique_ptr<test::TempWorld> m_world;
    std::unique_ptr<Connection> m_conn;
};

void TestDataSet::init()
{
    m_world = std::make_unique<test::TempWorld>();
    m_conn = std::make_unique<Connection>();
    m_conn->open();
}

void TestDataSet::cleanup()
{
    m_conn.reset();
    QFile::setPermissions(m_world->storePath(), QFile::ReadOwner | QFile::WriteOwner);
    m_world.reset();
}

int TestDataSet::count(const QString& sql)
{
    auto q = CreateScratchQuery(*m_conn);
    q->setCommandText(sql);
    q->open();
    return q->field(0).asInteger();
}

std::unique_ptr<DataSet> TestDataSet::openTasks()
{
    auto ds = std::make_unique<DataSet>(*m_conn);
    ds->setObjectName(QStringLiteral("aqryTask"));
    ds->setCommandText(taskQuery);
    ds->setAfterInsert([this](DataSet& d) {
        d.field(QStringLiteral("TaskID")).setValue(allocateKey(*m_conn, maxTask));
    });
    ds->open();
    return ds;
}

void TestDataSet::appendTask(DataSet& ds, const QString& name)
{
    ds.append();
    ds.field(QStringLiteral("TaskName")).setValue(name);
    ds.post();
}

void TestDataSet::statesAndTransitions()
{
    DataSet ds(*m_conn);
    ds.setCommandText(taskQuery);
    QCOMPARE(ds.state(), DataSet::State::Inactive);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds.edit());
    QSignalSpy states(&ds, &DataSet::stateChanged);
    ds.open();
    QCOMPARE(ds.state(), DataSet::State::Browse);
    QVERIFY(ds.isEmpty());
    ds.append();
    QCOMPARE(ds.state(), DataSet::State::Insert);
    QVERIFY(ds.isEditing());
    ds.field(QStringLiteral("TaskID")).setValue(1);
    ds.post();
    QCOMPARE(ds.state(), DataSet::State::Browse);
    ds.edit();
    QCOMPARE(ds.state(), DataSet::State::Edit);
    ds.cancel();
    QCOMPARE(ds.state(), DataSet::State::Browse);
    // Writing a field outside edit mode is refused.
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             ds.field(QStringLiteral("TaskName")).setValue(QStringLiteral("x")));
    ds.setCommandText(taskQuery); // closes
    QCOMPARE(ds.state(), DataSet::State::Inactive);
    QCOMPARE(states.count(), 6);
}

void TestDataSet::postedInsertShowsAtOnce()
{
    auto ds = openTasks();
    appendTask(*ds, QStringLiteral("甲"));
    appendTask(*ds, QStringLiteral("乙"));
    QCOMPARE(ds->recordCount(), 2);
    QCOMPARE(ds->field(QStringLiteral("TaskName")).asString(), QStringLiteral("乙"));
    QCOMPARE(ds->field(QStringLiteral("TaskID")).asInteger(), 2);
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks where TaskName = '甲'")), 1);
    // A second query sees what the first wrote.
    auto other = openTasks();
    QCOMPARE(other->recordCount(), 2);
}

void TestDataSet::editPostAndCancel()
{
    auto ds = openTasks();
    appendTask(*ds, QStringLiteral("old"));
    ds->edit();
    ds->field(QStringLiteral("TaskName")).setValue(QStringLiteral("typed"));
    ds->cancel();
    QCOMPARE(ds->field(QStringLiteral("TaskName")).asString(), QStringLiteral("old"));
    ds->edit();
    ds->field(QStringLiteral("TaskName")).setValue(QStringLiteral("new"));
    ds->field(QStringLiteral("ResCurrent")).setValue(7);
    ds->post();
    QCOMPARE(ds->field(QStringLiteral("TaskName")).asString(), QStringLiteral("new"));
    QCOMPARE(count(QStringLiteral("select ResCurrent from Tasks where TaskName = 'new'")), 7);
    // The key itself may change: the row is found by the key it was read with.
    ds->edit();
    ds->field(QStringLiteral("TaskID")).setValue(40);
    ds->post();
    QCOMPARE(count(QStringLiteral("select TaskID from Tasks")), 40);
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks")), 1);
}

void TestDataSet::postWrittenOnAnotherThread()
{
    // The write goes where the runner takes it; its error comes back, and the
    // row stays pending as after any refused post.
    auto ds = openTasks();
    appendTask(*ds, QStringLiteral("a"));
    appendTask(*ds, QStringLiteral("b"));
    const auto onAThread = [](const std::function<void()>& write) {
        std::exception_ptr failure;
        std::thread([&] {
            try {
                write();
            } catch (...) {
                failure = std::current_exception();
            }
        }).join();
        if (failure)
            std::rethrow_exception(failure);
    };
    ds->edit();
    ds->field(QStringLiteral("ResCurrent")).setValue(9);
    ds->post(onAThread);
    QCOMPARE(ds->state(), DataSet::State::Browse);
    QCOMPARE(count(QStringLiteral("select ResCurrent from Tasks where TaskName = 'b'")), 9);

    ds->edit();
    ds->field(QStringLiteral("TaskID"))
        .setValue(ds->field(QStringLiteral("TaskID")).asInteger() - 1);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->post(onAThread));
    QCOMPARE(ds->state(), DataSet::State::Edit);
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks")), 2);
    ds->cancel();
    QCOMPARE(ds->field(QStringLiteral("ResCurrent")).asInteger(), 9);
}

void TestDataSet::cancelledAppendLeavesNoTrace()
{
    auto ds = openTasks();
    appendTask(*ds, QStringLiteral("a"));
    appendTask(*ds, QStringLiteral("b"));
    ds->first();
    QSignalSpy resets(ds.get(), &DataSet::layoutReset);
    ds->append();
    QCOMPARE(ds->recordCount(), 3);
    ds->field(QStringLiteral("TaskName")).setValue(QStringLiteral("never"));
    ds->cancel();
    QCOMPARE(ds->recordCount(), 2);
    QCOMPARE(ds->state(), DataSet::State::Browse);
    // Back on the row that was current before the append.
    QCOMPARE(ds->field(QStringLiteral("TaskName")).asString(), QStringLiteral("a"));
    QCOMPARE(resets.count(), 2);
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks")), 2);
}

void TestDataSet::deleteShowsAtOnce()
{
    auto ds = openTasks();
    for (const char* n : {"a", "b", "c"})
        appendTask(*ds, QString::fromLatin1(n));
    ds->moveTo(1);
    ds->deleteRecord();
    QCOMPARE(ds->recordCount(), 2);
    QCOMPARE(ds->field(QStringLiteral("TaskName")).asString(), QStringLiteral("c"));
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks where TaskName = 'b'")), 0);
    // Deleting during an edit gives the edit up and deletes the row as stored.
    ds->edit();
    ds->field(QStringLiteral("TaskID")).setValue(99);
    ds->deleteRecord();
    QCOMPARE(ds->state(), DataSet::State::Browse);
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks")), 1);
    ds->deleteRecord();
    QVERIFY(ds->isEmpty());
    QCOMPARE(ds->recNo(), 0);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->deleteRecord());
}

void TestDataSet::keyAllocation_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("maxStatement");
    QTest::addColumn<QString>("keyName");
    QTest::newRow("tasks") << QStringLiteral("select * from tasks order by TaskID") << maxTask
                           << QStringLiteral("TaskID");
    QTest::newRow("descs") << QStringLiteral("select * from Descs") << maxDesc
                           << QStringLiteral("DescID");
}

void TestDataSet::keyAllocation()
{
    QFETCH(QString, table);
    QFETCH(QString, maxStatement);
    QFETCH(QString, keyName);
    DataSet ds(*m_conn);
    ds.setCommandText(table);
    ds.setAfterInsert(
        [&](DataSet& d) { d.field(keyName).setValue(allocateKey(*m_conn, maxStatement)); });
    ds.open();
    QCOMPARE(allocateKey(*m_conn, maxStatement), 1); // empty table
    for (int expected = 1; expected <= 3; ++expected) {
        ds.append();
        QCOMPARE(ds.field(keyName).asInteger(), expected);
        ds.post();
    }
    ds.last();
    ds.deleteRecord(); // the largest key comes again
    ds.append();
    QCOMPARE(ds.field(keyName).asInteger(), 3);
    ds.cancel(); // and a cancelled row does not use it up
    ds.append();
    QCOMPARE(ds.field(keyName).asInteger(), 3);
    ds.post();
    QCOMPARE(count(QStringLiteral("select count(*) from ") + ds.fieldDef(0).table), 3);
}

void TestDataSet::fieldsByNameInAnyCase_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::newRow("as declared") << QStringLiteral("TaskID") << 0;
    QTest::newRow("lower") << QStringLiteral("taskid") << 0;
    QTest::newRow("mixed") << QStringLiteral("TaskId") << 0;
    QTest::newRow("upper") << QStringLiteral("SAVECURRENT") << 13;
    QTest::newRow("absent") << QStringLiteral("TaskIDs") << -1;
}

void TestDataSet::fieldsByNameInAnyCase()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    auto ds = openTasks();
    QCOMPARE(ds->fieldIndex(name), index);
    if (index < 0)
        QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->field(name));
    else
        QCOMPARE(ds->field(name).index(), index);
}

void TestDataSet::fieldsByPositionInSchemaOrder()
{
    auto ds = openTasks();
    const QStringList expected = {
        QStringLiteral("TaskID"),       QStringLiteral("TaskName"),   QStringLiteral("TaskDesc"),
        QStringLiteral("WebName"),      QStringLiteral("WebType"),    QStringLiteral("ResLstAddr"),
        QStringLiteral("ResAddr"),      QStringLiteral("TaskDate"),   QStringLiteral("LoginAddr"),
        QStringLiteral("NextPageAddr"), QStringLiteral("ResStart"),   QStringLiteral("ResEnd"),
        QStringLiteral("ResCurrent"),   QStringLiteral("SaveCurrent")};
    QCOMPARE(ds->fieldCount(), int(expected.size()));
    for (int i = 0; i < ds->fieldCount(); ++i)
        QCOMPARE(ds->field(i).name(), expected[i]);
    QCOMPARE(ds->fieldDef(4).type, FieldType::Boolean);
    QCOMPARE(ds->fieldDef(7).type, FieldType::DateTime);
    QCOMPARE(ds->fieldDef(11).type, FieldType::Integer);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->field(14));
}

void TestDataSet::nullReadsAsZeroEmptyFalse()
{
    exec(QStringLiteral("insert into Tasks (TaskID) values (5)"));
    exec(QStringLiteral("insert into Descs (DescID) values (1)"));
    auto ds = openTasks();
    for (int i = 1; i < ds->fieldCount(); ++i) {
        const Field f = ds->field(i);
        QVERIFY2(f.isNull(), qPrintable(f.name()));
        QCOMPARE(f.asInteger(), 0);
        QCOMPARE(f.asString(), QString());
        QCOMPARE(f.asBoolean(), false);
    }
    // The same in a result without declared types.
    QCOMPARE(allocateKey(*m_conn, QStringLiteral("select max(TaskID) from Tasks where 0 ")), 1);
    auto descs = CreateScratchQuery(*m_conn);
    descs->setCommandText(QStringLiteral("select DescNeed, DescStart, TaskID from Descs"));
    descs->open();
    QCOMPARE(descs->field(QStringLiteral("descneed")).asBoolean(), false);
    QCOMPARE(descs->field(QStringLiteral("descstart")).asString(), QString());
    QCOMPARE(descs->field(QStringLiteral("taskid")).asInteger(), 0);
}

void TestDataSet::valuesRoundTrip()
{
    const QDateTime when(QDate(2024, 2, 29), QTime(23, 5, 9));
    {
        auto ds = openTasks();
        ds->append();
        ds->field(QStringLiteral("WebType")).setValue(true);
        ds->field(QStringLiteral("TaskDate")).setValue(when);
        ds->field(QStringLiteral("ResEnd")).setAsString(QStringLiteral(" 12 "));
        ds->field(QStringLiteral("TaskDesc")).setValue(QStringLiteral("行一\r\n行二 '\""));
        ds->post();
    }
    auto ds = openTasks();
    QCOMPARE(ds->field(QStringLiteral("WebType")).asBoolean(), true);
    QCOMPARE(ds->field(QStringLiteral("TaskDate")).asDateTime(), when);
    QCOMPARE(ds->field(QStringLiteral("ResEnd")).asInteger(), 12);
    QCOMPARE(ds->field(QStringLiteral("TaskDesc")).asString(), QStringLiteral("行一\r\n行二 '\""));
    // Booleans are 0/1 and the date is local date-time text in the store.
    QCOMPARE(count(QStringLiteral("select WebType from Tasks")), 1);
    auto raw = CreateScratchQuery(*m_conn);
    raw->setCommandText(QStringLiteral("select '' || TaskDate as t from Tasks"));
    raw->open();
    QCOMPARE(raw->field(0).value().toString(), QStringLiteral("2024-02-29 23:05:09"));
}

void TestDataSet::conversionErrorLeavesValue()
{
    auto ds = openTasks();
    appendTask(*ds, QStringLiteral("a"));
    ds->edit();
    ds->field(QStringLiteral("ResEnd")).setValue(3);
    QVERIFY_THROWS_EXCEPTION(ConversionError,
                             ds->field(QStringLiteral("ResEnd")).setValue(QStringLiteral("x1")));
    QVERIFY_THROWS_EXCEPTION(
        ConversionError, ds->field(QStringLiteral("ResEnd")).setAsString(QStringLiteral("1.5")));
    QVERIFY_THROWS_EXCEPTION(
        ConversionError, ds->field(QStringLiteral("WebType")).setValue(QStringLiteral("maybe")));
    QCOMPARE(ds->field(QStringLiteral("ResEnd")).asInteger(), 3);
    ds->post();
    QCOMPARE(count(QStringLiteral("select ResEnd from Tasks")), 3);
}

void TestDataSet::recordNumbers()
{
    auto ds = openTasks();
    QCOMPARE(ds->recNo(), 0);
    QVERIFY(ds->eof());
    for (int i = 0; i < 4; ++i)
        appendTask(*ds, QString::number(i));
    QList<int> seen;
    for (ds->first(); !ds->eof(); ds->next())
        seen << ds->recNo();
    QCOMPARE(seen, QList<int>({1, 2, 3, 4}));
    ds->prior();
    QCOMPARE(ds->recNo(), 3);
    ds->first();
    QVERIFY(ds->bof());
    ds->last();
    QCOMPARE(ds->recNo(), 4);
}

void TestDataSet::movingOffPendingRowPostsIt()
{
    auto ds = openTasks();
    appendTask(*ds, QStringLiteral("a"));
    appendTask(*ds, QStringLiteral("b"));
    ds->edit();
    ds->field(QStringLiteral("TaskName")).setValue(QStringLiteral("b2"));
    ds->first();
    QCOMPARE(ds->state(), DataSet::State::Browse);
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks where TaskName = 'b2'")), 1);
    ds->append();
    ds->field(QStringLiteral("TaskName")).setValue(QStringLiteral("c"));
    ds->append(); // the first new row is posted before the second begins
    ds->cancel();
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks")), 3);
}

void TestDataSet::masterLinkReruns()
{
    for (int id = 1; id <= 3; ++id)
        test::addTask(m_world->storePath(), id, QString());
    exec(QStringLiteral("insert into Descs (DescID, TaskID, DescName) values "
                        "(1, 1, 'a1'), (2, 2, 'b1'), (3, 2, 'b2'), (4, 1, 'a2'), (5, 2, 'b3')"));
    auto tasks = openTasks();
    DataSet descs(*m_conn);
    descs.setCommandText(descQuery);
    descs.setMasterSource(tasks.get());
    descs.setAfterInsert([this](DataSet& d) {
        d.field(QStringLiteral("DescID")).setValue(allocateKey(*m_conn, maxDesc));
        d.field(QStringLiteral("TaskID")).setValue(d.parameter(QStringLiteral("taskid")));
    });
    descs.open(); // the parameter comes from the master without being set
    QCOMPARE(descs.recordCount(), 2);
    tasks->next();
    QCOMPARE(descs.recordCount(), 3);
    QCOMPARE(descs.field(QStringLiteral("DescName")).asString(), QStringLiteral("b1"));
    tasks->next();
    QVERIFY(descs.isEmpty());
    descs.append();
    descs.post();
    QCOMPARE(count(QStringLiteral("select count(*) from Descs where TaskID = 3")), 1);
    // A new task has no fields; once its key is there, the query follows it.
    tasks->append();
    QVERIFY(descs.isEmpty());
    tasks->cancel();
    QCOMPARE(descs.recordCount(), 1);
    // Deleting the current task moves to another task, and the fields follow.
    tasks->first();
    tasks->deleteRecord();
    QCOMPARE(descs.recordCount(), 3);
    // The master going away leaves the detail usable.
    tasks.reset();
    descs.close();
    descs.open();
    QVERIFY(descs.isActive());
}

void TestDataSet::masterMovePostsPendingDetail()
{
    test::addTask(m_world->storePath(), 1, QString());
    test::addTask(m_world->storePath(), 2, QString());
    exec(QStringLiteral("insert into Descs (DescID, TaskID, DescName) values (1, 1, 'x')"));
    auto tasks = openTasks();
    DataSet descs(*m_conn);
    descs.setCommandText(descQuery);
    descs.setMasterSource(tasks.get());
    descs.open();
    descs.edit();
    descs.field(QStringLiteral("DescName")).setValue(QStringLiteral("typed"));
    tasks->next();
    QCOMPARE(count(QStringLiteral("select count(*) from Descs where DescName = 'typed'")), 1);
    QVERIFY(descs.isEmpty());
    QCOMPARE(descs.state(), DataSet::State::Browse);
}

void TestDataSet::suspendedNotices()
{
    auto ds = openTasks();
    for (int i = 0; i < 3; ++i)
        appendTask(*ds, QString::number(i));
    QSignalSpy resets(ds.get(), &DataSet::layoutReset);
    QSignalSpy rows(ds.get(), &DataSet::rowChanged);
    QSignalSpy currents(ds.get(), &DataSet::currentChanged);
    ds->disableControls();
    ds->disableControls(); // nested
    QVERIFY(ds->controlsDisabled());
    for (ds->first(); !ds->eof(); ds->next()) {
        ds->edit();
        ds->field(QStringLiteral("ResEnd")).setValue(ds->recNo());
        ds->post();
    }
    ds->enableControls();
    QCOMPARE(resets.count() + rows.count() + currents.count(), 0);
    ds->enableControls();
    QVERIFY(!ds->controlsDisabled());
    // The narrowest notice: the rows written and the current row, no reset.
    QCOMPARE(resets.count(), 0);
    QCOMPARE(currents.count(), 1);
    QCOMPARE(rows.count(), 3);
    QCOMPARE(count(QStringLiteral("select sum(ResEnd) from Tasks")), 6);
    // Resumed without a change in between, nothing is sent.
    ds->disableControls();
    ds->enableControls();
    QCOMPARE(resets.count() + currents.count() + rows.count(), 4);
    ds->edit();
    ds->field(QStringLiteral("ResEnd")).setValue(100);
    QCOMPARE(rows.count(), 4);
    // A re-run while held still resets the whole model once.
    {
        const ControlsDisabled still(*ds);
        ds->close();
        ds->open();
    }
    QCOMPARE(resets.count(), 1);
    ds->enableControls(); // more resumes than suspends do no harm
    QVERIFY(!ds->controlsDisabled());
}

void TestDataSet::texts255StoredWhole_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("text");
    const QString latin = QString(255, QLatin1Char('a'));
    const QString chinese = QString(255, QChar(0x4E2D));
    for (const char* c :
         {"TaskName", "TaskDesc", "WebName", "ResLstAddr", "ResAddr", "LoginAddr", "NextPageAddr"})
        QTest::newRow(c) << QString::fromLatin1(c) << latin;
    QTest::newRow("chinese") << QStringLiteral("TaskName") << chinese;
}

void TestDataSet::texts255StoredWhole()
{
    QFETCH(QString, column);
    QFETCH(QString, text);
    {
        auto ds = openTasks();
        ds->append();
        ds->field(column).setValue(text);
        ds->post();
    }
    auto ds = openTasks();
    QCOMPARE(ds->field(column).asString(), text);
}

void TestDataSet::text256RefusedAndRowKept()
{
    auto ds = openTasks();
    ds->append();
    const QString tooLong = QString(256, QLatin1Char('x'));
    ds->field(QStringLiteral("ResAddr")).setValue(tooLong);
    ds->field(QStringLiteral("ResEnd")).setValue(9);
    try {
        ds->post();
        QFAIL("a 256-character text was stored");
    } catch (const DatabaseError& e) {
        QVERIFY2(e.message().contains(QLatin1String("ResAddr")), qPrintable(e.message()));
        QVERIFY(e.message().contains(QLatin1String("CHECK constraint failed")));
    }
    QCOMPARE(ds->state(), DataSet::State::Insert);
    QCOMPARE(ds->field(QStringLiteral("ResAddr")).asString(), tooLong);
    QCOMPARE(ds->field(QStringLiteral("ResEnd")).asInteger(), 9);
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks")), 0);
    ds->field(QStringLiteral("ResAddr")).setValue(tooLong.left(255));
    ds->post();
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks")), 1);
}

void TestDataSet::readOnlyStoreLosesNothing()
{
    test::addTask(m_world->storePath(), 1, QStringLiteral("kept"));
    m_conn.reset();
    QVERIFY(QFile::setPermissions(m_world->storePath(), QFile::ReadOwner | QFile::ReadGroup));
    m_conn = std::make_unique<Connection>();
    m_conn->open();
    // Root writes to any file: make the engine treat the store as read-only too.
    if (sqlite3_db_readonly(m_conn->handle(), "main") != 1)
        exec(QStringLiteral("PRAGMA query_only = 1"));
    auto ds = openTasks();
    QCOMPARE(ds->field(QStringLiteral("TaskName")).asString(), QStringLiteral("kept"));
    ds->edit();
    ds->field(QStringLiteral("TaskName")).setValue(QStringLiteral("changed"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->post());
    try {
        ds->post();
    } catch (const DatabaseError& e) {
        QVERIFY2(e.message().contains(QLatin1String("readonly")), qPrintable(e.message()));
    }
    QCOMPARE(ds->state(), DataSet::State::Edit);
    QCOMPARE(ds->field(QStringLiteral("TaskName")).asString(), QStringLiteral("changed"));
    ds->cancel();
    ds->append();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->post());
    ds->cancel();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->deleteRecord());
    QCOMPARE(ds->recordCount(), 1);
    auto again = openTasks();
    QCOMPARE(again->recordCount(), 1);
    QCOMPARE(again->field(QStringLiteral("TaskName")).asString(), QStringLiteral("kept"));
}

void TestDataSet::lockedStoreFailsWithEngineMessage()
{
    auto ds = openTasks();
    appendTask(*ds, QStringLiteral("a"));
    Database other;
    other.open(m_world->storePath());
    other.exec(QStringLiteral("BEGIN EXCLUSIVE"));
    sqlite3_busy_timeout(m_conn->handle(), 100);
    ds->edit();
    ds->field(QStringLiteral("TaskName")).setValue(QStringLiteral("b"));
    try {
        ds->post();
        QFAIL("posted into a locked store");
    } catch (const DatabaseError& e) {
        QCOMPARE(e.message(), QStringLiteral("database is locked"));
    }
    QCOMPARE(ds->state(), DataSet::State::Edit);
    other.exec(QStringLiteral("COMMIT"));
    ds->post();
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks where TaskName = 'b'")), 1);
}

void TestDataSet::updateOfVanishedRowFails()
{
    auto ds = openTasks();
    appendTask(*ds, QStringLiteral("a"));
    exec(QStringLiteral("delete from Tasks")); // another writer
    ds->edit();
    ds->field(QStringLiteral("TaskName")).setValue(QStringLiteral("b"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->post());
    QCOMPARE(ds->state(), DataSet::State::Edit);
}

void TestDataSet::failedDeleteKeepsRow()
{
    auto ds = openTasks();
    appendTask(*ds, QStringLiteral("a"));
    exec(QStringLiteral("PRAGMA query_only = 1"));
    ds->edit();
    ds->field(QStringLiteral("TaskName")).setValue(QStringLiteral("typed"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->deleteRecord());
    // Still pending with what was typed; a cancel brings the stored row back.
    QCOMPARE(ds->state(), DataSet::State::Edit);
    QCOMPARE(ds->recordCount(), 1);
    QCOMPARE(ds->field(QStringLiteral("TaskName")).asString(), QStringLiteral("typed"));
    ds->cancel();
    QCOMPARE(ds->field(QStringLiteral("TaskName")).asString(), QStringLiteral("a"));
}

void TestDataSet::calculatedField()
{
    DataSet ds(*m_conn);
    ds.setCommandText(taskQuery);
    ds.addCalculatedField(QStringLiteral("OrdNO"),
                          [](int row) { return QString::number(row + 1); });
    test::addTask(m_world->storePath(), 1, QString());
    test::addTask(m_world->storePath(), 2, QString());
    ds.open();
    QCOMPARE(ds.fieldCount(), 15);
    const int ord = ds.fieldIndex(QStringLiteral("ordno"));
    QVERIFY(ds.fieldDef(ord).calculated);
    QCOMPARE(ds.displayText(1, ord), QStringLiteral("2"));
    // Posting a row writes only the stored columns.
    ds.edit();
    ds.field(QStringLiteral("TaskName")).setValue(QStringLiteral("x"));
    ds.post();
    QCOMPARE(count(QStringLiteral("select count(*) from Tasks where TaskName = 'x'")), 1);
}

QTEST_GUILESS_MAIN(TestDataSet)
#include "tst_dataset.moc"
