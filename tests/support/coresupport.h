#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Test helpers without a window: files, and a temporary world with a store.
namespace pagrim::store {
class Connection;
}

namespace pagrim::test {

// A file's bytes, or "<missing>" when it cannot be read.
QByteArray contents(const QString& path);
// Replaces a file with bytes (a test failure when it cannot).
void put(const QString& path, const QByteArray& bytes);
// The first column of the first row of a statement, as stored.
int queryInteger(store::Connection& connection, const QString& sql);

// The path of one of the project's built programs, found beside the test
// program or in a folder above it; empty when it is not built.
QString builtProgram(const QString& name);

// A temporary folder with an empty store made by the same code as
// pagrim-mkstore; the current folder moves into it while the world lives.
class TempWorld
{
public:
    TempWorld();
    ~TempWorld();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    QString storePath() const { return file(QStringLiteral("Pagrim.mdb")); }
    // A settings file path (no file is made) and an existing work folder,
    // ending with "/", both inside the world.
    QString settingsPath() const { return file(QStringLiteral("pagrim.ini")); }
    QString workPath() const { return file(QStringLiteral("work")) + QLatin1Char('/'); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

} // namespace pagrim::test
