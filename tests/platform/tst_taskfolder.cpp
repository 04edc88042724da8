#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/taskfolder.h"
#include "platform/tasklock.h"
#include "platform/text.h"
#include "support/coresupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace pagrim;

class TstTaskFolder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void workFolder_data();
    void workFolder();
    void nestedTaskFolder();
    void ensureFolderMakesEveryLevel();
    void ensureFolderFails_data();
    void ensureFolderFails();
    void taskLock();
    void lines_data();
    void lines();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString& name) const { return m_dir->filePath(name); }
};

void TstTaskFolder::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

void TstTaskFolder::workFolder_data()
{
    QTest::addColumn<QString>("setting"); // "@" stands for the temporary folder
    QTest::addColumn<QString>("expected");
    QTest::newRow("no setting") << QString() << "/prog/WorkDir/";
    QTest::newRow("existing, trailing /") << "@/Data/"
                                          << "@/Data/WorkDir/";
    QTest::newRow("existing, no trailing separator") << "@/Data"
                                                     << "@/DataWorkDir/";
    QTest::newRow("existing, backslashes") << "@\\Data\\"
                                           << "@/Data/WorkDir/";
    QTest::newRow("missing folder") << "@/Nowhere/"
                                    << "/prog/WorkDir/";
    QTest::newRow("a file, not a folder") << "@/file.txt"
                                          << "/prog/WorkDir/";
}

void TstTaskFolder::workFolder()
{
    QFETCH(QString, setting);
    QFETCH(QString, expected);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Data")));
    QFile f(path(QStringLiteral("file.txt")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    setting.replace(QLatin1Char('@'), m_dir->path());
    expected.replace(QLatin1Char('@'), m_dir->path());
    QCOMPARE(workFolderFor(setting, QStringLiteral("/prog/")), expected);
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("Data/WorkDir"))));
}

void TstTaskFolder::nestedTaskFolder()
{
    const QString work = m_dir->path() + QStringLiteral("/WorkDir/");
    const QString folder = TaskFolder(work, QStringLiteral("A\\B")).path();
    QCOMPARE(folder, work + QStringLiteral("A/B"));
    QCOMPARE(EnsureFolder(folder + QStringLiteral("\\HTML\\")),
             folder + QStringLiteral("\\HTML\\"));
    QVERIFY(QFileInfo(work + QStringLiteral("A/B/HTML")).isDir());
}

void TstTaskFolder::ensureFolderMakesEveryLevel()
{
    const QString deep = path(QStringLiteral("w/x/y/z/"));
    QCOMPARE(EnsureFolder(deep), deep);
    QVERIFY(QFileInfo(deep).isDir());
    // An existing folder is fine and stays as it is.
    QCOMPARE(EnsureFolder(deep), deep);
}

void TstTaskFolder::ensureFolderFails_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("file in the way") << "file";
    QTest::newRow("file as a parent") << "parent";
    QTest::newRow("read-only parent") << "readonly";
    QTest::newRow("empty path") << "empty";
}

void TstTaskFolder::ensureFolderFails()
{
    QFETCH(QString, kind);
    QFile blocker(path(QStringLiteral("Task")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QString target;
    if (kind == QLatin1String("file"))
        target = path(QStringLiteral("Task"));
    else if (kind == QLatin1String("parent"))
        target = path(QStringLiteral("Task/HTML/"));
    else if (kind == QLatin1String("readonly")) {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("ro")));
        QFile::setPermissions(path(QStringLiteral("ro")),
                              QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (QDir(path(QStringLiteral("ro"))).mkdir(QStringLiteral("probe")))
            QSKIP("running with rights that ignore folder permissions");
        target = path(QStringLiteral("ro/Task/"));
    }
    try {
        EnsureFolder(target);
        QFAIL("no error");
    } catch (const Error& e) {
        QCOMPARE(e.message(), QStringLiteral("工作路径访问失败！"));
    }
    QFile::setPermissions(path(QStringLiteral("ro")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TstTaskFolder::taskLock()
{
    const TaskFolder folder(path(QStringLiteral("w/")), QStringLiteral("任务"));
    auto first = std::make_unique<TaskLock>(folder);
    QVERIFY(first->take()); // makes the folder
    QVERIFY(first->take());
    const QByteArray held = test::contents(folder.lockFile());
    TaskLock second(folder);
    QVERIFY(!second.take());
    // The lock of a holder that died is taken over.
    QProcess dead;
    dead.start(QStringLiteral("true"), {});
    QVERIFY(dead.waitForStarted(10000));
    const QByteArray deadPid = QByteArray::number(dead.processId());
    QVERIFY(dead.waitForFinished(10000));
    first.reset();
    QVERIFY(!QFileInfo::exists(folder.lockFile()));
    test::put(folder.lockFile(), deadPid + held.mid(held.indexOf('\n')));
    QVERIFY(second.take());
    QVERIFY(second.held());
}

void TstTaskFolder::lines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("expected");
    using L = QList<QByteArray>;
    QTest::newRow("empty") << QByteArray() << L{};
    QTest::newRow("one line, no end") << QByteArray("a") << L{"a"};
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << L{"a", "b"};
    QTest::newRow("lone LF") << QByteArray("a\nb") << L{"a", "b"};
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << L{"a", "b"};
    QTest::newRow("mixed") << QByteArray("a\r\rb\n\r\nc") << L{"a", "", "b", "", "c"};
    QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << L{"a", "", "b"};
    QTest::newRow("only a line end") << QByteArray("\r\n") << L{""};
    QTest::newRow("blank last line kept") << QByteArray("a\r\n \r\n") << L{"a", " "};
}

void TstTaskFolder::lines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, expected);
    QCOMPARE(splitLines(bytes), expected);
}

QTEST_GUILESS_MAIN(TstTaskFolder)
#include "tst_taskfolder.moc"
