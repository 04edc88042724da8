#include "platform/filewrite.h"

#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <cerrno>
#include <memory>
#include <vector>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace pagrim {

bool writeFileWhole(const QString& path, const QByteArray& bytes, QString* reason)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
        file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (reason)
        *reason = file.errorString();
    file.cancelWriting();
    return false;
}

void writeFileOrThrow(const QString& path, const QByteArray& bytes)
{
    QString reason;
    if (!writeFileWhole(path, bytes, &reason))
        throw Error(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason));
}

void writeFilesOrThrow(const QList<std::pair<QString, QByteArray>>& files)
{
    const auto refused = [](const QString& path, const QString& reason) {
        return Error(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason));
    };
    // A temporary file that is not committed goes with its QSaveFile.
    std::vector<std::unique_ptr<QSaveFile>> written;
    // Puts the files written so far in place, in order. Held open, the files
    // replaced are not freed by the renames but when they are closed after the
    // last one: replacing a large file then takes no longer than a small one.
    const auto commitWritten = [&] {
        std::vector<std::unique_ptr<QFile>> replaced;
        for (size_t i = 0; i < written.size(); ++i) {
            replaced.push_back(std::make_unique<QFile>(files[qsizetype(i)].first));
            replaced.back()->open(QIODevice::ReadOnly);
        }
        for (size_t i = 0; i < written.size(); ++i) {
            if (!written[i]->commit())
                throw refused(files[qsizetype(i)].first, written[i]->errorString());
        }
    };
    for (const auto& [path, bytes] : files) {
        auto file = std::make_unique<QSaveFile>(path);
        bool ok = file->open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                  file->write(bytes) == bytes.size();
        QString reason = file->errorString();
#ifdef Q_OS_UNIX
        // On the disk now, so that the commits are renames in quick succession
        // rather than each waiting for its own data.
        if (ok && ::fsync(file->handle()) != 0) {
            ok = false;
            reason = qt_error_string(errno);
        }
#endif
        if (!ok) {
            // The files before the refused one are still written, as they
            // would be one after the other; the refused one and those after it
            // are not.
            commitWritten();
            throw refused(path, reason);
        }
        written.push_back(std::move(file));
    }
    commitWritten();
}

void removeLeftoverTemporaries(const QString& folder, const QString& names)
{
    // The temporary name of a whole-file write: the file's name, a dot and six
    // letters or digits.
    const QRegularExpression leftover(
        QRegularExpression::anchoredPattern(QStringLiteral("(?:%1)\\.[A-Za-z0-9]{6}").arg(names)));
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
