#include "support/coresupport.h"

#include "store/dataset.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace pagrim::test {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
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
