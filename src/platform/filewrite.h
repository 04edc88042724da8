#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace pagrim {

// Writes the file whole or not at all: the bytes go to a temporary file in the
// same folder, which then replaces the file. On failure the old file stays as it
// was, and reason (when given) receives the system's explanation.
bool writeFileWhole(const QString& path, const QByteArray& bytes, QString* reason = nullptr);

// The same, raising Error "Cannot create file "<path>". <reason>" on failure.
void writeFileOrThrow(const QString& path, const QByteArray& bytes);

// A file of a set: where it goes and its bytes. When its bytes could not be
// made, unmade says why, and the set refuses it as it would an unwritable one.
struct SetFile
{
    QString path;
    QByteArray bytes;
    QString unmade;
};

// Writes files that belong together, in order: each whole to its staged file
// beside it, and only when every one is staged do they replace
// their files, one right after the other. A kill between two replacements
// leaves the rest staged; completeFileSet, which the next write of the set
// calls first, finishes them, so that the set is the old one or the new one.
// A file that cannot be written is refused with the error of writeFileOrThrow
// after the files before it have replaced theirs; it and the files after it
// stay as they were.
void writeFilesOrThrow(const QList<SetFile>& files);

// Finishes what a killed writeFilesOrThrow of the files paths left: while the
// first file is staged and the last is not, nothing was replaced yet and the
// staged files go; otherwise the staged files replace theirs. A set written
// before files were added at its end is finished by the same rule.
void completeFileSet(const QStringList& paths);

// The hidden file beside path that a write of the program goes through:
// ".<name>.pagrim-<tag>". No user's file is named so, and only such names are
// ever removed as leftovers.
QString ownTemporaryPath(const QString& path, const QString& tag);
// Where a file of a set waits, whole, until the set replaces its files.
QString stagedPath(const QString& path);

// Removes the temporary files that a write killed between making its
// temporary file and renaming it left in folder, for every file name that
// names matches whole. A folder that does not exist is left alone.
void removeLeftoverTemporaries(const QString& folder, const QString& names);

// The whole file; Error "Cannot open file "<path>". <reason>" when it cannot be
// opened, "Cannot read file ..." when reading fails.
QByteArray readFileOrThrow(const QString& path);

} // namespace pagrim
