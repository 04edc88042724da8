#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantMap>

// Test helpers without a window: files, and a temporary world with a store.
namespace pagrim::test {

// A file's bytes, or "<missing>" when it cannot be read.
QByteArray contents(const QString& path);
// Replaces a file with bytes (a test failure when it cannot).
void put(const QString& path, const QByteArray& bytes);

// One statement on the store at storePath, with bound values.
void execOn(const QString& storePath, const QString& sql, const QVariantList& values = {});
// The rows of a query on the store at storePath, each as its column values.
QList<QVariantList> rowsOf(const QString& storePath, const QString& sql);
// A task written straight to the store: its key and name, and the columns named
// in more over these: WebType 1, ResAddr "http://127.0.0.1/*", TaskDate
// "2020-01-02 03:04:05", ResStart 1, ResEnd 200, ResCurrent 0, SaveCurrent 0.
void addTask(const QString& storePath, int id, const QString& name, const QVariantMap& more = {});

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
