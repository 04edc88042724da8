#pragma once

#include <QString>
#include <optional>

// Profile (INI) files with the rules of the Windows profile functions: a
// "[section]" line, then "key=value" lines. Sections and keys are found without
// regard to case; a value loses its surrounding blanks and one pair of enclosing
// quotation marks; reads give at most MaxValueBytes bytes. Every read reads the
// file and every write rewrites it at once, whole and atomically, keeping the
// other sections, keys, comments and their order. The file is in the program
// code page.
namespace pagrim::profile {

inline constexpr qsizetype MaxValueBytes = 2047;

// The value of key in section, or defaultValue when the file, the section or the
// key is missing. A key present with an empty value reads as empty.
QString readString(const QString& path, const QString& section, const QString& key,
                   const QString& defaultValue);

// The same lookup in the bytes of a profile file.
QString valueIn(const QByteArray& contents, const QString& section, const QString& key,
                const QString& defaultValue);

// The value read as an integer (see parseInteger), or defaultValue when it is
// missing or not an integer.
int readInteger(const QString& path, const QString& section, const QString& key, int defaultValue);

// Sets key in section, creating the file, the section and the key as needed.
// Throws pagrim::Error "Unable to write to <path>" when the file cannot be
// written (read-only, no rights); the file then stays as it was. Line breaks in
// the value, which the format cannot hold, are written as blanks.
void writeString(const QString& path, const QString& section, const QString& key,
                 const QString& value);

// An optional sign and decimal digits, or "0x"/"0X" and hexadecimal digits,
// within the range of int; anything else (also "12abc") is not an integer.
std::optional<int> parseInteger(const QString& text);

} // namespace pagrim::profile
