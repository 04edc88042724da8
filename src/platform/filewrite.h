#pragma once

#include <QByteArray>
#include <QString>

namespace pagrim {

// Writes the file whole or not at all: the bytes go to a temporary file in the
// same folder, which then replaces the file. On failure the old file stays as it
// was, and reason (when given) receives the system's explanation.
bool writeFileWhole(const QString& path, const QByteArray& bytes, QString* reason = nullptr);

// The same, raising Error "Cannot create file "<path>". <reason>" on failure.
void writeFileOrThrow(const QString& path, const QByteArray& bytes);

// The whole file; Error "Cannot open file "<path>". <reason>" when it cannot be
// opened, "Cannot read file ..." when reading fails.
QByteArray readFileOrThrow(const QString& path);

} // namespace pagrim
