#include "support/coresupport.h"

#include "store/dataset.h"
#include "store/schema.h"
#include "store/sqlite.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pagrim::test {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray crlfLines(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += codepage::fromUnicode(line) + "\r\n";
    return bytes;
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QString builtProgram(const QString& name)
{
    for (QDir dir(QCoreApplication::applicationDirPath());;) {
        if (QFileInfo(dir.filePath(name)).isExecutable())
            return dir.filePath(name);
        if (!dir.cdUp())
            return {};
    }
}

int queryInteger(store::Connection& connection, const QString& sql)
{
    auto q = store::CreateScratchQuery(connection);
    q->setCommandText(sql);
    q->open();
    return q->field(0).asInteger();
}

void execOn(const QString& storePath, const QString& sql, const QVariantList& values)
{
    store::Database db;
    db.open(storePath);
    store::Statement st(db.handle(), sql);
    for (int i = 0; i < values.size(); ++i)
        st.bind(i + 1, values[i]);
    st.step();
}

QList<QVariantList> rowsOf(const QString& storePath, const QString& sql)
{
    store::Database db;
    db.open(storePath);
    store::Statement st(db.handle(), sql);
    QList<QVariantList> out;
    while (st.step()) {
        QVariantList row;
        for (int c = 0; c < st.columnCount(); ++c)
            row << st.columnValue(c);
        out << row;
    }
    return out;
}

int rowCount(const QString& storePath, const QString& table)
{
    return rowsOf(storePath, QStringLiteral("select count(*) from ") + table)
        .value(0)
        .value(0)
        .toInt();
}

QVariantMap listColumns(bool ordinal, const QString& resAddr, int start, int end, int current,
                        const QString& first, const QString& next)
{
    return {{QStringLiteral("WebType"), ordinal},   {QStringLiteral("ResAddr"), resAddr},
            {QStringLiteral("ResLstAddr"), first},  {QStringLiteral("NextPageAddr"), next},
            {QStringLiteral("ResStart"), start},    {QStringLiteral("ResEnd"), end},
            {QStringLiteral("ResCurrent"), current}};
}

void addTask(const QString& storePath, int id, const QString& name, const QVariantMap& more)
{
    QVariantMap columns{{QStringLiteral("TaskID"), id},
                        {QStringLiteral("TaskName"), name},
                        {QStringLiteral("WebType"), 1},
                        {QStringLiteral("ResAddr"), QStringLiteral("http://127.0.0.1/*")},
                        {QStringLiteral("TaskDate"), QStringLiteral("2020-01-02 03:04:05")},
                        {QStringLiteral("ResStart"), 1},
                        {QStringLiteral("ResEnd"), 200},
                        {QStringLiteral("ResCurrent"), 0},
                        {QStringLiteral("SaveCurrent"), 0}};
    columns.insert(more);
    QStringList marks(columns.size(), QStringLiteral("?"));
    execOn(storePath,
           QStringLiteral("insert into Tasks (%1) values (%2)")
               .arg(columns.keys().join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
           columns.values());
}

void when(QObject* context, std::function<bool()> condition, std::function<void()> action)
{
    auto* poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, condition, action] {
        if (!condition())
            return;
        poll->stop();
        poll->deleteLater();
        action();
    });
    poll->start(10);
}

QString pictureFolder(const QString& sub)
{
    const QString docs = qEnvironmentVariable("PAGRIM_DOCS");
    if (docs.isEmpty())
        return {};
    const QString folder = QDir(docs).absoluteFilePath(sub) + QLatin1Char('/');
    QDir().mkpath(folder);
    return folder;
}

bool waitForIdle(int timeoutMs)
{
    QSignalSpy idle(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock);
    return idle.wait(timeoutMs);
}

namespace {
// Sets or clears the immutable flag of a file; false when that cannot be done.
bool setImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}
} // namespace

UnwritableFile::UnwritableFile(QString path)
    : m_path(std::move(path)), m_permissions(QFile::permissions(m_path))
{
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    if (writable())
        m_immutable = setImmutable(m_path, true);
}

UnwritableFile::~UnwritableFile()
{
    if (m_immutable)
        setImmutable(m_path, false);
    QFile::setPermissions(m_path, m_permissions);
}

bool UnwritableFile::writable() const
{
    QFile f(m_path);
    return f.open(QIODevice::ReadWrite);
}

TempWorld::TempWorld() : m_previous(QDir::currentPath())
{
    store::createStore(storePath());
    QDir().mkpath(workPath());
    QDir::setCurrent(m_dir.path());
}

TempWorld::~TempWorld()
{
    QDir::setCurrent(m_previous);
}

} // namespace pagrim::test
