#pragma once

#include "platform/codepage.h"

#include <QByteArray>
#include <QFileDevice>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantMap>
#include <functional>

class QObject;

// Test helpers without a window: files, rows of the store, the code page, and a
// temporary world with a store.
namespace pagrim::store {
class Connection;
}

namespace pagrim::test {

// A file's bytes, or "<missing>" when it cannot be read.
QByteArray contents(const QString& path);
// The lines as a file of the program holds them: each in the program code page
// and followed by CR LF.
QByteArray crlfLines(const QStringList& lines);
// Replaces a file with bytes (a test failure when it cannot).
void put(const QString& path, const QByteArray& bytes);
// The first column of the first row of a statement, as stored.
int queryInteger(store::Connection& connection, const QString& sql);

// The path of one of the project's built programs, found beside the test
// program or in a folder above it; empty when it is not built.
QString builtProgram(const QString& name);

// One statement on the store at storePath, with bound values.
void execOn(const QString& storePath, const QString& sql, const QVariantList& values = {});
// The rows of a query on the store at storePath, each as its column values.
QList<QVariantList> rowsOf(const QString& storePath, const QString& sql);
// The number of rows in a table of the store at storePath.
int rowCount(const QString& storePath, const QString& table);
// A task written straight to the store: its key and name, and the columns named
// in more over these: WebType 1, ResAddr "http://127.0.0.1/*", TaskDate
// "2020-01-02 03:04:05", ResStart 1, ResEnd 200, ResCurrent 0, SaveCurrent 0.
void addTask(const QString& storePath, int id, const QString& name, const QVariantMap& more = {});
// The columns of a task's list: an ordinal task (numbered addresses of
// resAddr) or a list page task (first list page, next list pages and the
// pattern resAddr), its range and ResCurrent.
QVariantMap listColumns(bool ordinal, const QString& resAddr, int start, int end, int current,
                        const QString& first = QString(), const QString& next = QString());

// Runs action once, as soon as condition holds; the condition is tried every
// few milliseconds while events run, until context goes.
void when(QObject* context, std::function<bool()> condition, std::function<void()> action);

// The folder for pictures of windows for people to look at: sub under the
// folder that PAGRIM_DOCS names (make docs sets it), made when missing and
// ending with "/"; empty without PAGRIM_DOCS, when tests make no pictures.
QString pictureFolder(const QString& sub = QStringLiteral("windows"));

// Lets the event loop fall idle once (its dispatcher about to block, which
// QTRY_* waits never do); false when that did not happen within timeoutMs.
bool waitForIdle(int timeoutMs = 5000);

// Pins the program code page for a scope; the system's is back at its end, also
// when a failed check leaves the test function early.
class CodePagePinned
{
public:
    explicit CodePagePinned(int codePage) { codepage::setCurrentForTesting(codePage); }
    ~CodePagePinned() { codepage::setCurrentForTesting(0); }
    CodePagePinned(const CodePagePinned&) = delete;
    CodePagePinned& operator=(const CodePagePinned&) = delete;
};

// A file nobody may write while it lives: without write permissions, and where
// they do not bind (for the superuser) immutable as well.
class UnwritableFile
{
public:
    explicit UnwritableFile(QString path);
    ~UnwritableFile();
    UnwritableFile(const UnwritableFile&) = delete;
    UnwritableFile& operator=(const UnwritableFile&) = delete;
    // Whether the file can be written still (neither took): a test skips then.
    bool writable() const;

private:
    QString m_path;
    QFileDevice::Permissions m_permissions;
    bool m_immutable = false;
};

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
