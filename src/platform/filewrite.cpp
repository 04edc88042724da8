#include "platform/filewrite.h"

#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pagrim {

namespace {

// Six letters or digits: the mark of one write's temporary file.
QString randomTag()
{
    static const char Chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString tag;
    for (int i = 0; i < 6; ++i)
        tag += QLatin1Char(Chars[QRandomGenerator::global()->bounded(int(sizeof Chars) - 1)]);
    return tag;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Brings the folder's entries (a rename into it) to the disk, so that a power
// loss after this keeps them. A folder that cannot be opened for it (no
// permission to read it) is left as the system keeps it.
void syncFolderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0    ? QByteArray(".")
                              : slash == 0 ? QByteArray("/")
                                           : path.left(slash);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

QString ownTemporaryPath(const QString& path, const QString& tag)
{
    const QFileInfo info(path);
    return info.dir().filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".pagrim-") +
                               tag);
}

QString stagedPath(const QString& path)
{
    return ownTemporaryPath(path, QStringLiteral("new"));
}

bool writeFileWhole(const QString& link, const QByteArray& bytes, QString* reason)
{
    // A link is followed: the file it names is the one replaced.
    const QFileInfo existing(link);
    const QString path = existing.isSymLink() ? existing.symLinkTarget() : link;
    // A file that is there and may not be written is refused, as it would be
    // written in place; it keeps its permissions when it is replaced.
    if (existing.exists() && !existing.isDir() && !existing.isWritable()) {
        if (reason)
            *reason = QStringLiteral("Existing file %1 is not writable").arg(link);
        return false;
    }
    struct stat st;
    const bool kept = ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = QFile::encodeName(ownTemporaryPath(path, randomTag()));
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    bool ok = fd >= 0 && (!kept || ::fchmod(fd, st.st_mode & 07777) == 0) && writeAll(fd, bytes) &&
              ::fdatasync(fd) == 0;
    int error = errno;
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.constData(), QFile::encodeName(path).constData()) == 0) {
        syncFolderOf(QFile::encodeName(path));
        return true;
    }
    if (ok)
        error = errno;
    if (fd >= 0)
        ::unlink(temp.constData());
    if (reason)
        *reason = qt_error_string(error);
    return false;
}

namespace {

Error refusedFile(const QString& path, const QString& reason)
{
    return Error(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason));
}

} // namespace

void writeFileOrThrow(const QString& path, const QByteArray& bytes)
{
    QString reason;
    if (!writeFileWhole(path, bytes, &reason))
        throw refusedFile(path, reason);
}

namespace {

// Replaces the file by its staged one; false, with the reason, when the
// system refuses.
bool putInPlace(const QString& path, QString* reason)
{
    if (::rename(QFile::encodeName(stagedPath(path)).constData(),
                 QFile::encodeName(path).constData()) == 0) {
        syncFolderOf(QFile::encodeName(path));
        return true;
    }
    *reason = qt_error_string(errno);
    return false;
}

// Lets the staged files of paths go, the last first: while it stands, a
// later completeFileSet would put the others in place.
void removeStaged(const QStringList& paths)
{
    for (qsizetype i = paths.size() - 1; i >= 0; --i)
        QFile::remove(stagedPath(paths[i]));
}

} // namespace

void completeFileSet(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    // Files are staged in order and put in place in order, each once all are
    // staged (or, on a refusal, once those before it are): the first staged
    // file waits only while nothing is replaced. A file that cannot be put in
    // place stops the rest, which stay staged for the next attempt: the set is
    // never mixed by this.
    if (QFileInfo::exists(stagedPath(paths.first())) &&
        !QFileInfo::exists(stagedPath(paths.last()))) {
        removeStaged(paths);
        return;
    }
    for (const QString& path : paths) {
        QString reason;
        if (QFileInfo::exists(stagedPath(path)) && !putInPlace(path, &reason))
            return;
    }
}

void writeFilesOrThrow(const QList<SetFile>& files)
{
    QStringList paths;
    for (const SetFile& file : files)
        paths << file.path;
    // A set that an earlier write left staged is finished before this one
    // stages its own.
    completeFileSet(paths);
    // Puts the first count staged files in place, in order, and lets the rest
    // go; raises the refusal of the one that could not be put in place. Held
    // open, the files replaced are not freed by the renames but when they are
    // closed after the last one: replacing a large file then takes no longer
    // than a small one, and the renames follow each other at once.
    const auto putInPlaceFirst = [&](qsizetype count) {
        std::vector<std::unique_ptr<QFile>> replaced;
        for (qsizetype i = 0; i < count; ++i) {
            replaced.push_back(std::make_unique<QFile>(paths[i]));
            replaced.back()->open(QIODevice::ReadOnly);
        }
        for (qsizetype i = 0; i < count; ++i) {
            QString reason;
            if (!putInPlace(paths[i], &reason)) {
                removeStaged(paths.mid(i));
                throw refusedFile(paths[i], reason);
            }
        }
    };
    for (qsizetype i = 0; i < files.size(); ++i) {
        QString reason = files[i].unmade;
        if (!reason.isEmpty() || !writeFileWhole(stagedPath(paths[i]), files[i].bytes, &reason)) {
            // The files before the refused one are still written, as they
            // would be one after the other; the refused one and those after it
            // are not.
            putInPlaceFirst(i);
            throw refusedFile(paths[i], reason);
        }
    }
    putInPlaceFirst(files.size());
}

void removeLeftoverTemporaries(const QString& folder, const QString& names)
{
    // The temporary name of a whole-file write: ownTemporaryPath with six
    // letters or digits, of the file or of its staged file.
    const QRegularExpression leftover(QRegularExpression::anchoredPattern(
        QStringLiteral("\\.(?:%1|\\.(?:%1)\\.pagrim-new)\\.pagrim-[A-Za-z0-9]{6}").arg(names)));
    const QDir dir(folder);
    if (!dir.exists())
        return;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (leftover.match(name).hasMatch())
            QFile::remove(dir.filePath(name));
    }
}

QByteArray readFileOrThrow(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Cannot open file \"%1\". %2")
                        .arg(QDir::toNativeSeparators(path), file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Error(QStringLiteral("Cannot read file \"%1\". %2")
                        .arg(QDir::toNativeSeparators(path), file.errorString()));
    return bytes;
}

} // namespace pagrim
