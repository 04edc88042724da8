// The task operations of the main window, on the task query without a window:
// new-task defaults, copy, delete with the task's fields, and the task's options.
#include "platform/errors.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "store/descoptions.h"
#include "store/taskops.h"
#include "store/taskoptions.h"
#include "support/coresupport.h"

#include <QtTest>

using namespace pagrim;
using namespace pagrim::store;

class TestTaskOps : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TempWorld> world;
    std::unique_ptr<Connection> conn;
    std::unique_ptr<DataSet> tasks;

    QList<QVariantList> rows(const QString& sql) { return test::rowsOf(world->storePath(), sql); }
    int count(const QString& table) { return test::rowCount(world->storePath(), table); }
    // The task query as the main window sets it up.
    DataSet& openTasks()
    {
        tasks = std::make_unique<DataSet>(*conn);
        tasks->setObjectName(QStringLiteral("aqryTask"));
        tasks->setCommandText(QStringLiteral("select * from tasks order by TaskID"));
        tasks->setAfterInsert(fillNewTask);
        tasks->open();
        return *tasks;
    }
    void setEngine(int taskId, const QVariant& engine)
    {
        test::execOn(world->storePath(),
                     QStringLiteral("insert into TaskOptions (TaskID, PageEngine) values (?, ?)"),
                     {taskId, engine});
    }
    void addFields(int taskId, std::initializer_list<int> ids)
    {
        for (int id : ids)
            test::execOn(world->storePath(),
                         QStringLiteral("insert into Descs (DescID, TaskID, DescName, DescNeed) "
                                        "values (?, ?, 'f', 1)"),
                         {id, taskId});
    }

private Q_SLOTS:
    void init()
    {
        world = std::make_unique<test::TempWorld>();
        conn = std::make_unique<Connection>();
        conn->open();
    }
    void cleanup()
    {
        tasks.reset();
        conn.reset();
        world.reset();
    }

    void newTaskDefaults_data()
    {
        QTest::addColumn<QList<int>>("existing");
        QTest::addColumn<int>("key");
        QTest::newRow("empty store") << QList<int>{} << 1;
        QTest::newRow("after the highest") << QList<int>{3, 9, 4} << 10;
    }
    void newTaskDefaults()
    {
        QFETCH(QList<int>, existing);
        QFETCH(int, key);
        for (int id : existing)
            test::addTask(world->storePath(), id, QStringLiteral("t"));
        DataSet& t = openTasks();
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        t.append();
        QCOMPARE(t.state(), DataSet::State::Insert);
        QCOMPARE(t.field(QStringLiteral("TaskID")).asInteger(), key);
        QCOMPARE(t.field(QStringLiteral("TaskName")).asString(),
                 QStringLiteral("新建任务%1").arg(key));
        const QDateTime stamp = t.field(QStringLiteral("TaskDate")).asDateTime();
        QVERIFY(stamp >= before && stamp <= QDateTime::currentDateTime());
        QCOMPARE(t.field(QStringLiteral("WebType")).asBoolean(), true);
        for (const char* counter : {"ResStart", "ResEnd", "ResCurrent", "SaveCurrent"}) {
            QVERIFY2(!t.field(QLatin1String(counter)).isNull(), counter);
            QCOMPARE(t.field(QLatin1String(counter)).asInteger(), 0);
        }
        QVERIFY(t.field(QStringLiteral("ResAddr")).isNull());
        t.post();
        QCOMPARE(count(QStringLiteral("Tasks")), existing.size() + 1);
    }

    void copyTakesAllButKeyAndName()
    {
        test::addTask(world->storePath(), 5, QStringLiteral("源任务"),
                      {{QStringLiteral("LoginAddr"), QStringLiteral("http://l/")},
                       {QStringLiteral("TaskDesc"), QStringLiteral("说明")},
                       {QStringLiteral("ResCurrent"), 120},
                       {QStringLiteral("SaveCurrent"), 45}});
        test::addTask(world->storePath(), 2, QStringLiteral("其他"));
        setEngine(5, QStringLiteral("direct"));
        DataSet& t = openTasks();
        t.last();
        const TaskOptions options = appendTaskCopy(t);
        QVERIFY(options.direct());
        // Pending for the editor, with the defaults' key and name.
        QCOMPARE(t.state(), DataSet::State::Insert);
        QCOMPARE(t.field(QStringLiteral("TaskID")).asInteger(), 6);
        QCOMPARE(t.field(QStringLiteral("TaskName")).asString(), QStringLiteral("新建任务6"));
        QCOMPARE(count(QStringLiteral("Tasks")), 2);
        postTask(t, options);
        QVERIFY(readTaskOptions(*conn, 6).direct());
        const QString cols = QStringLiteral("TaskDesc, WebType, ResLstAddr, ResAddr, TaskDate, "
                                            "LoginAddr, NextPageAddr, ResStart, ResEnd, "
                                            "ResCurrent, SaveCurrent, WebName");
        const auto copy = rows(QStringLiteral("select %1 from Tasks where TaskID = 6").arg(cols));
        const auto source = rows(QStringLiteral("select %1 from Tasks where TaskID = 5").arg(cols));
        QCOMPARE(copy.size(), 1);
        QCOMPARE(copy, source);
        QCOMPARE(copy[0][9].toInt(), 120);
    }

    void refusedOptionsKeepTheRowPending()
    {
        test::addTask(world->storePath(), 1, QStringLiteral("任务1"));
        conn->database().exec(QStringLiteral("create temp trigger refuse before insert on "
                                             "TaskOptions begin select raise(abort, 'no'); end"));
        DataSet& t = openTasks();
        t.edit();
        t.field(QStringLiteral("TaskName")).setValue(QStringLiteral("改名"));
        TaskOptions direct;
        direct.pageEngine = QStringLiteral("direct");
        QVERIFY_THROWS_EXCEPTION(DatabaseError, postTask(t, direct));
        QCOMPARE(t.state(), DataSet::State::Edit);
        QCOMPARE(rows(QStringLiteral("select TaskName from Tasks"))[0][0], QStringLiteral("任务1"));
        QVERIFY(!conn->database().inTransaction());
    }

    void deleteTakesTheTasksFields()
    {
        for (int id : {1, 2, 3})
            test::addTask(world->storePath(), id, QStringLiteral("任务%1").arg(id));
        addFields(3, {1, 2});
        addFields(2, {3});
        setEngine(3, QStringLiteral("direct"));
        setEngine(2, QStringLiteral("direct"));
        for (int id : {1, 3})
            writeDescOptions(*conn, id, {true});
        DataSet& t = openTasks();
        t.last();
        deleteTask(t);
        QCOMPARE(rows(QStringLiteral("select DescID from DescOptions")),
                 (QList<QVariantList>{{QVariant(qint64(3))}}));
        QCOMPARE(t.recordCount(), 2);
        QCOMPARE(count(QStringLiteral("Tasks")), 2);
        QCOMPARE(rows(QStringLiteral("select DescID from Descs")),
                 (QList<QVariantList>{{QVariant(qint64(3))}}));
        QCOMPARE(rows(QStringLiteral("select TaskID from TaskOptions")),
                 (QList<QVariantList>{{QVariant(qint64(2))}}));
        QVERIFY(!conn->database().inTransaction());
        // The freed key is given again, with no fields or options to inherit.
        t.append();
        QCOMPARE(t.field(QStringLiteral("TaskID")).asInteger(), 3);
    }

    void failedDeleteKeepsTaskAndFields_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("message");
        // Refused by the store before the row leaves the list.
        QTest::newRow("task refused")
            << QStringLiteral("before delete on Tasks") << QStringLiteral("refused");
        // The fields refused after nothing else has changed.
        QTest::newRow("fields refused")
            << QStringLiteral("before delete on Descs") << QStringLiteral("refused");
    }
    void failedDeleteKeepsTaskAndFields()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, message);
        test::addTask(world->storePath(), 1, QStringLiteral("任务1"));
        test::addTask(world->storePath(), 2, QStringLiteral("任务2"));
        addFields(1, {1});
        conn->database().exec(QStringLiteral("create trigger refuse %1 begin "
                                             "select raise(abort, 'refused'); end")
                                  .arg(trigger));
        DataSet& t = openTasks();
        try {
            deleteTask(t);
            QFAIL("the delete went through");
        } catch (const DatabaseError& e) {
            QCOMPARE(e.message(), message);
        }
        QCOMPARE(count(QStringLiteral("Tasks")), 2);
        QCOMPARE(count(QStringLiteral("Descs")), 1);
        QCOMPARE(t.recordCount(), 2);
        QCOMPARE(t.field(QStringLiteral("TaskID")).asInteger(), 1);
        QVERIFY(!conn->database().inTransaction());
    }

    void commitRefusedBringsTheRowBack()
    {
        test::addTask(world->storePath(), 1, QStringLiteral("任务1"));
        addFields(1, {1});
        // A reference checked only at commit: the row has left the list by then.
        conn->database().exec(QStringLiteral(
            "PRAGMA foreign_keys = ON; create table Marks (TaskID integer references "
            "Tasks (TaskID) deferrable initially deferred); insert into Marks values (1)"));
        DataSet& t = openTasks();
        QVERIFY_THROWS_EXCEPTION(DatabaseError, deleteTask(t));
        QVERIFY(!conn->database().inTransaction());
        QCOMPARE(count(QStringLiteral("Tasks")), 1);
        QCOMPARE(count(QStringLiteral("Descs")), 1);
        QCOMPARE(t.recordCount(), 1);
        QCOMPARE(t.field(QStringLiteral("TaskID")).asInteger(), 1);
    }
};

QTEST_GUILESS_MAIN(TestTaskOps)
#include "tst_taskops.moc"
