#include "platform/filewrite.h"

#include "platform/errors.h"

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

} // namespace pagrim
