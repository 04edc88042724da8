#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

namespace pagrim {

// Writes the file whole or not at all: the bytes go to a temporary file in the
// same folder, which then replaces the file. On failure the old file stays as it
// was, and reason (when given) receives the system's explanation.
bool writeFileWhole(const QString& path, const QByteArray& bytes, QString* reason = nullptr);

// The same, raising Error "Cannot create file "<path>". <reason>" on failure.
void writeFileOrThrow(const QString& path, const QByteArray& bytes);

// Writes files that belong together: each to a temporary file beside it,
// brought to the disk, and only when every one is written do they replace
// their files, one right after the other. On failure none is replaced; the
// error is that of writeFileOrThrow for the first file that failed.
void writeFilesOrThrow(const QList<std::pair<QString, QByteArray>>& files);

// The whole file; Error "Cannot open file "<path>". <reason>" when it cannot be
// opened, "Cannot read file ..." when reading fails.
QByteArray readFileOrThrow(const QString& path);

} // namespace pagrim
