// The connection to the task store: the file is the Data Source resolved
// against the current folder, opened read-write and never created; what is
// wrong with it shows at open; an older store gets the tables it lacks.
#include "platform/errors.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "store/descoptions.h"
#include "store/schema.h"
#include "store/taskoptions.h"
#include "support/coresupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <optional>
#include <thread>

using namespace pagrim;
using namespace pagrim::store;

class TestConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void connectionString();
    void badStoreFailsAtOpen_data();
    void badStoreFailsAtOpen();
    void storeBesideProgramIsNotUsed();
    void opensStoreOfCurrentFolder();
    void storeWithoutTablesOpens();
    void shortLockOfAnotherWriterIsWaitedFor();
    void sharedConnectionKeepsEachThreadsError();
    void olderStoreGetsTaskOptions_data();
    void olderStoreGetsTaskOptions();

private:
    QString inFolder(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previous;
    QString m_besideProgram; // a store this test put beside the program
};

void TestConnection::init()
{
    m_previous = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QDir::setCurrent(m_dir->path());
}

void TestConnection::cleanup()
{
    QDir::setCurrent(m_previous);
    if (!m_besideProgram.isEmpty())
        QFile::remove(m_besideProgram);
    m_besideProgram.clear();
    m_dir.reset();
}

void TestConnection::connectionString()
{
    Connection conn;
    QCOMPARE(conn.connectionString(),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=Pagrim.mdb;Persist "
                            "Security Info=False"));
    QCOMPARE(conn.dataSource(), QStringLiteral("Pagrim.mdb"));
    conn.setConnectionString(QStringLiteral("provider=x; data source = Other.mdb ;"));
    QCOMPARE(conn.dataSource(), QStringLiteral("Other.mdb"));
    createStore(inFolder(QStringLiteral("Other.mdb")));
    conn.open();
    QVERIFY(conn.isOpen());
    conn.setConnectionString(QStringLiteral("Provider=x"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, conn.open());
}

void TestConnection::badStoreFailsAtOpen_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QStringLiteral("missing")
                             << QStringLiteral("unable to open database file");
    QTest::newRow("text file") << QStringLiteral("text")
                               << QStringLiteral("file is not a database");
    QTest::newRow("empty file") << QStringLiteral("empty")
                                << QStringLiteral("file is not a database");
    QTest::newRow("folder") << QStringLiteral("folder")
                            << QStringLiteral("unable to open database file");
}

void TestConnection::badStoreFailsAtOpen()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    const QString path = inFolder(QStringLiteral("Pagrim.mdb"));
    QByteArray before;
    if (kind == QLatin1String("text") || kind == QLatin1String("empty")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("text"))
            f.write(QByteArray(4096, 'x').prepend("This is no database.\n"));
        f.close();
        QFile r(path);
        QVERIFY(r.open(QIODevice::ReadOnly));
        before = r.readAll();
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Pagrim.mdb")));
    }
    Connection conn;
    try {
        conn.open();
        QFAIL("the store opened");
    } catch (const DatabaseError& e) {
        QCOMPARE(e.message(), message);
    }
    QVERIFY(!conn.isOpen());
    if (kind == QLatin1String("missing")) {
        QVERIFY(!QFileInfo::exists(path)); // never created
    } else if (!before.isNull()) {
        QFile r(path);
        QVERIFY(r.open(QIODevice::ReadOnly));
        QCOMPARE(r.readAll(), before); // never touched
    }
}

void TestConnection::storeBesideProgramIsNotUsed()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/Pagrim.mdb");
    if (QFileInfo::exists(beside))
        QSKIP("a store already lies beside the test program");
    createStore(beside);
    m_besideProgram = beside;
    Connection conn;
    QVERIFY_THROWS_EXCEPTION(DatabaseError, conn.open());
    QVERIFY(!QFileInfo::exists(inFolder(QStringLiteral("Pagrim.mdb"))));
}

void TestConnection::opensStoreOfCurrentFolder()
{
    QTemporaryDir other;
    createStore(other.filePath(QStringLiteral("Pagrim.mdb")));
    createStore(inFolder(QStringLiteral("Pagrim.mdb")));
    QDir::setCurrent(other.path());
    Connection conn;
    conn.open();
    conn.database().exec(QStringLiteral("insert into Tasks (TaskID) values (1)"));
    // Moving to another folder later changes nothing for the open connection.
    QDir::setCurrent(m_dir->path());
    conn.database().exec(QStringLiteral("insert into Tasks (TaskID) values (2)"));
    conn.close();
    Database check;
    check.open(other.filePath(QStringLiteral("Pagrim.mdb")));
    Statement st(check.handle(), QStringLiteral("select count(*) from Tasks"));
    QVERIFY(st.step());
    QCOMPARE(st.columnValue(0).toInt(), 2);
}

void TestConnection::storeWithoutTablesOpens()
{
    {
        Database db;
        db.open(inFolder(QStringLiteral("Pagrim.mdb")), true);
        db.exec(QStringLiteral("create table Other (x)"));
    }
    Connection conn;
    conn.open(); // only the first statement on the missing table fails
    auto q = CreateScratchQuery(conn);
    q->setCommandText(QStringLiteral("select * from tasks order by TaskID"));
    try {
        q->open();
        QFAIL("a missing table was read");
    } catch (const DatabaseError& e) {
        QCOMPARE(e.message(), QStringLiteral("no such table: tasks"));
    }
}

void TestConnection::shortLockOfAnotherWriterIsWaitedFor()
{
    createStore(inFolder(QStringLiteral("Pagrim.mdb")));
    Connection conn;
    conn.open();
    Statement timeout(conn.handle(), QStringLiteral("PRAGMA busy_timeout"));
    QVERIFY(timeout.step());
    QCOMPARE(timeout.columnValue(0).toInt(), Connection::BusyTimeoutMs);
    Database other;
    other.open(inFolder(QStringLiteral("Pagrim.mdb")));
    other.exec(QStringLiteral("BEGIN EXCLUSIVE"));
    // The other writer lets go once the write has begun.
    std::atomic<bool> writing = false;
    std::thread release([&] {
        writing.wait(false);
        other.exec(QStringLiteral("COMMIT"));
    });
    bool written = false;
    try {
        writing = true;
        writing.notify_one();
        conn.database().exec(QStringLiteral("insert into Tasks (TaskID) values (1)"));
        written = true;
    } catch (const DatabaseError&) {
    }
    release.join();
    QVERIFY(written);
}

void TestConnection::sharedConnectionKeepsEachThreadsError()
{
    // Two threads fail on one connection at once, each with its own message.
    createStore(inFolder(QStringLiteral("Pagrim.mdb")));
    Connection conn;
    conn.open();
    conn.database().exec(QStringLiteral("insert into Tasks (TaskID) values (1)"));
    const auto mixUps = [&](const char* sql, const char* message) {
        int wrong = 0;
        for (int i = 0; i < 2000; ++i) {
            try {
                Statement(conn.handle(), QString::fromLatin1(sql)).step();
                ++wrong;
            } catch (const DatabaseError& e) {
                wrong += e.message() != QLatin1String(message);
            }
        }
        return wrong;
    };
    int writer = 0;
    std::thread t([&] {
        writer = mixUps("insert into Tasks (TaskID) values (1)",
                        "UNIQUE constraint failed: Tasks.TaskID");
    });
    const int own = mixUps("select Missing from Tasks", "no such column: Missing");
    t.join();
    QCOMPARE(writer + own, 0);
}

void TestConnection::olderStoreGetsTaskOptions_data()
{
    QTest::addColumn<QString>("older");
    QTest::addColumn<bool>("writable");
    const QString noTable = QStringLiteral(
        "drop table TaskOptions; drop table DescOptions; drop trigger DescOptionsGoWithDescs;");
    QTest::newRow("no table") << noTable << true;
    QTest::newRow("no PageEngine")
        << noTable +
               QStringLiteral("create table TaskOptions (TaskID INTEGER NOT NULL PRIMARY KEY)")
        << true;
    QTest::newRow("read-only, no table") << noTable << false;
}

void TestConnection::olderStoreGetsTaskOptions()
{
    QFETCH(QString, older);
    QFETCH(bool, writable);
    const QString path = inFolder(QStringLiteral("Pagrim.mdb"));
    createStore(path);
    const QString layout =
        QStringLiteral("select m.name, p.name, p.type, p.pk from sqlite_master m left join "
                       "pragma_table_info(m.name) p where m.name like '%Options%' order by 1, 2");
    const auto fresh = test::rowsOf(path, layout);
    // One statement at a time: a statement runs only the first of a list.
    for (const QString& sql : older.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        test::execOn(path, sql);
    std::optional<test::UnwritableFile> unwritable;
    if (!writable && unwritable.emplace(path).writable())
        QSKIP("the store file cannot be made read-only here");
    Connection conn;
    conn.open();
    // A store that cannot be changed opens still, its tasks with the default options.
    QCOMPARE(readTaskOptions(conn, 1), TaskOptions());
    QCOMPARE(readDescOptions(conn, 1), DescOptions());
    QCOMPARE(test::rowsOf(path, layout), writable ? fresh : QList<QVariantList>());
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
