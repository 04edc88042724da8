// pagrim-mkstore, run as the built program: makes an empty store with its
// tables, or one holding the example tasks, and never touches a file that exists.
#include "store/sqlite.h"
#include "support/coresupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace pagrim::store;

class TestMkStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void makesStoreInCurrentFolder();
    void makesStoreAtGivenPath();
    void makesExampleStore_data();
    void makesExampleStore();
    void refusesExistingFile_data();
    void refusesExistingFile();

private:
    // Runs the tool in folder; returns its exit code (-1 when it did not end).
    int run(const QString& folder, const QStringList& args, QByteArray* err = nullptr);
    QStringList columns(const QString& store, const QString& table);
    // The rows of a query, each row's values joined by "|" (NULL as "<null>").
    QStringList rows(const QString& store, const QString& sql);

    QString m_tool;
};

void TestMkStore::initTestCase()
{
    m_tool = pagrim::test::builtProgram(QStringLiteral("pagrim-mkstore"));
    if (m_tool.isEmpty())
        QSKIP("pagrim-mkstore is not built");
}

int TestMkStore::run(const QString& folder, const QStringList& args, QByteArray* err)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(m_tool, args);
    if (!p.waitForFinished(30000))
        return -1;
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QStringList TestMkStore::columns(const QString& store, const QString& table)
{
    Database db;
    db.open(store);
    Statement st(db.handle(),
                 QStringLiteral("select name, type from pragma_table_info('%1')").arg(table));
    QStringList result;
    while (st.step())
        result << st.columnValue(0).toString() + QLatin1Char(' ') + st.columnValue(1).toString();
    return result;
}

QStringList TestMkStore::rows(const QString& store, const QString& sql)
{
    Database db;
    db.open(store);
    Statement st(db.handle(), sql);
    QStringList result;
    while (st.step()) {
        QStringList values;
        for (int c = 0; c < st.columnCount(); ++c)
            values << (st.columnValue(c).isNull() ? QStringLiteral("<null>")
                                                  : st.columnValue(c).toString());
        result << values.join(QLatin1Char('|'));
    }
    return result;
}

void TestMkStore::makesStoreInCurrentFolder()
{
    QTemporaryDir dir;
    QCOMPARE(run(dir.path(), {}), 0);
    const QString store = dir.filePath(QStringLiteral("Pagrim.mdb"));
    QCOMPARE(
        columns(store, QStringLiteral("Tasks")),
        QStringList(
            {QStringLiteral("TaskID INTEGER"), QStringLiteral("TaskName VARCHAR(255)"),
             QStringLiteral("TaskDesc VARCHAR(255)"), QStringLiteral("WebName VARCHAR(255)"),
             QStringLiteral("WebType BOOLEAN"), QStringLiteral("ResLstAddr VARCHAR(255)"),
             QStringLiteral("ResAddr VARCHAR(255)"), QStringLiteral("TaskDate DATETIME"),
             QStringLiteral("LoginAddr VARCHAR(255)"), QStringLiteral("NextPageAddr VARCHAR(255)"),
             QStringLiteral("ResStart INTEGER"), QStringLiteral("ResEnd INTEGER"),
             QStringLiteral("ResCurrent INTEGER"), QStringLiteral("SaveCurrent INTEGER")}));
    QCOMPARE(
        columns(store, QStringLiteral("Descs")),
        QStringList({QStringLiteral("DescID INTEGER"), QStringLiteral("TaskID INTEGER"),
                     QStringLiteral("DescName VARCHAR(255)"), QStringLiteral("DescNeed BOOLEAN"),
                     QStringLiteral("DescStart MEMO"), QStringLiteral("DescEnd MEMO")}));
    QCOMPARE(
        columns(store, QStringLiteral("TaskOptions")),
        QStringList({QStringLiteral("TaskID INTEGER"), QStringLiteral("PageEngine VARCHAR(16)"),
                     QStringLiteral("ContentWait INTEGER"),
                     QStringLiteral("LoggedOutText VARCHAR(255)")}));
    QCOMPARE(columns(store, QStringLiteral("DescOptions")),
             QStringList({QStringLiteral("DescID INTEGER"), QStringLiteral("ShownText BOOLEAN")}));
    // Nothing but the store is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({QStringLiteral("Pagrim.mdb")}));
}

void TestMkStore::makesStoreAtGivenPath()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    QCOMPARE(run(dir.path(), {QStringLiteral("sub/Other.mdb")}), 0);
    QCOMPARE(columns(dir.filePath(QStringLiteral("sub/Other.mdb")), QStringLiteral("Descs")).size(),
             6);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("Pagrim.mdb"))));
    QVERIFY(run(dir.path(), {QStringLiteral("a"), QStringLiteral("b")}) != 0);
    QVERIFY(run(dir.path(),
                {QStringLiteral("--examples"), QStringLiteral("a"), QStringLiteral("b")}) != 0);
    QVERIFY(run(dir.path(), {QStringLiteral("--example")}) != 0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

void TestMkStore::makesExampleStore_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("store");
    QTest::newRow("current folder")
        << QStringList{QStringLiteral("--examples")} << QStringLiteral("Pagrim.mdb");
    QTest::newRow("path after the option")
        << QStringList{QStringLiteral("--examples"), QStringLiteral("Ex.mdb")}
        << QStringLiteral("Ex.mdb");
    QTest::newRow("path before the option")
        << QStringList{QStringLiteral("Ex.mdb"), QStringLiteral("--examples")}
        << QStringLiteral("Ex.mdb");
}

void TestMkStore::makesExampleStore()
{
    QFETCH(QStringList, args);
    QFETCH(QString, store);
    QTemporaryDir dir;
    QCOMPARE(run(dir.path(), args), 0);
    const QString path = dir.filePath(store);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{store});

    // Empty texts stay NULL, as the program leaves them; counters start at 0.
    const QString site = QStringLiteral("http://127.0.0.1:8808/");
    QCOMPARE(rows(path, QStringLiteral("select TaskID, TaskName, WebType, ResLstAddr, ResAddr, "
                                       "LoginAddr, NextPageAddr, ResStart, ResEnd, ResCurrent, "
                                       "SaveCurrent from Tasks order by TaskID")),
             QStringList({QStringLiteral("1|示例1 文章序数|1|<null>|%1article/*.html|<null>|<null>|"
                                         "1|20|0|0")
                              .arg(site),
                          QStringLiteral("2|示例2 文章列表|0|%1list/1.html|%1article/*.html|"
                                         "<null>|%1list/*.html|1|3|0|0")
                              .arg(site),
                          QStringLiteral("3|示例3 会员页面|1|<null>|%1member/*.html|"
                                         "%1login.html|<null>|1|5|0|0")
                              .arg(site)}));
    for (const QString& date : rows(path, QStringLiteral("select TaskDate from Tasks"))) {
        const QDateTime made = QDateTime::fromString(date, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY2(made.isValid(), qPrintable(date));
        QVERIFY(qAbs(made.secsTo(QDateTime::currentDateTime())) < 3600);
    }
    QVERIFY(rows(path, QStringLiteral("select 1 from Tasks where TaskDesc is null or "
                                      "TaskDesc = ''"))
                .isEmpty());

    // The fields come back in the order the program's field query gives them.
    QCOMPARE(rows(path, QStringLiteral("select DescID, DescName, DescNeed from descs where "
                                       "taskid=1")),
             QStringList({QStringLiteral("1|标题|1"), QStringLiteral("2|日期|1"),
                          QStringLiteral("3|价格|1"), QStringLiteral("4|正文|1")}));
    QCOMPARE(rows(path, QStringLiteral("select DescName from descs where taskid=2")),
             QStringList({QStringLiteral("标题"), QStringLiteral("日期"), QStringLiteral("价格")}));
    QCOMPARE(rows(path, QStringLiteral("select DescName from descs where taskid=3")),
             QStringList({QStringLiteral("标题"), QStringLiteral("会员价")}));
    // Line breaks in markers are CR LF, as the marker boxes store them.
    QCOMPARE(rows(path, QStringLiteral("select DescStart, DescEnd from descs where DescID=4")),
             QStringList{QStringLiteral("<div id=\"content\">\r\n|\r\n</div>")});
    QVERIFY(rows(path, QStringLiteral("select 1 from Descs where DescStart is null or DescEnd "
                                      "is null or DescStart = '' or DescEnd = ''"))
                .isEmpty());
}

void TestMkStore::refusesExistingFile_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("text") << QStringList() << QByteArray("my own notes\n");
    QTest::newRow("empty") << QStringList() << QByteArray("");
    QTest::newRow("examples") << QStringList{QStringLiteral("--examples")}
                              << QByteArray("my own notes\n");
}

void TestMkStore::refusesExistingFile()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Pagrim.mdb"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const QDateTime modified = QFileInfo(path).lastModified();
    QByteArray err;
    QVERIFY(run(dir.path(), args, &err) != 0);
    QVERIFY2(err.contains("already exists"), err.constData());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
    QCOMPARE(QFileInfo(path).lastModified(), modified);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({QStringLiteral("Pagrim.mdb")}));
}

QTEST_GUILESS_MAIN(TestMkStore)
#include "tst_mkstore.moc"
