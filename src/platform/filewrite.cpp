#include "platform/filewrite.h"

#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

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
