#pragma once

#include <QString>

namespace pagrim {

// The settings file of the program: a profile file on one path. Holds nothing
// but the path; every read reads the file and every write goes to it at once.
// Writes throw pagrim::Error "Unable to write to <path>" when refused.
class Settings
{
public:
    explicit Settings(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    void WriteString(const QString& section, const QString& key, const QString& value);
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    void WriteInteger(const QString& section, const QString& key, int value);

    // Section SysConfig: the work path, the number of pages of a test run and the
    // separator of extracted values. Each key and its default live here only.
    static constexpr int DefaultTestValue = 10;
    static QString DefaultSeparator();
    QString WorkPath(const QString& defaultValue) const;
    void setWorkPath(const QString& value);
    int TestValue() const;
    void setTestValue(int value);
    QString Separator() const;
    void setSeparator(const QString& value);

    // The program file's path with its extension replaced by ".ini" (appended
    // when it has none).
    static QString programPath();
    // The program file's folder with a trailing "/".
    static QString programFolder();

private:
    QString m_path;
};

} // namespace pagrim
