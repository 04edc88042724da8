// pagrim-mkstore, run as the built program: makes an empty store with both
// tables and never touches a file that exists.
#include "store/sqlite.h"

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
    void refusesExistingFile_data();
    void refusesExistingFile();

private:
    // Runs the tool in folder; returns its exit code (-1 when it did not end).
    int run(const QString& folder, const QStringList& args, QByteArray* err = nullptr);
    QStringList columns(const QString& store, const QString& table);

    QString m_tool;
};

void TestMkStore::initTestCase()
{
    // The tool is built next to the test programs or in a folder above them.
    for (QDir dir(QCoreApplication::applicationDirPath());;) {
        if (QFileInfo(dir.filePath(QStringLiteral("pagrim-mkstore"))).isExecutable()) {
            m_tool = dir.filePath(QStringLiteral("pagrim-mkstore"));
            break;
        }
        if (!dir.cdUp())
            break;
    }
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
}

void TestMkStore::refusesExistingFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("text") << QByteArray("my own notes\n");
    QTest::newRow("empty") << QByteArray("");
}

void TestMkStore::refusesExistingFile()
{
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
    QVERIFY(run(dir.path(), {}, &err) != 0);
    QVERIFY2(err.contains("already exists"), err.constData());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
    QCOMPARE(QFileInfo(path).lastModified(), modified);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({QStringLiteral("Pagrim.mdb")}));
}

QTEST_GUILESS_MAIN(TestMkStore)
#include "tst_mkstore.moc"
