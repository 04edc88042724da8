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

    // Page saving on real sites: the pages loading at once, the least time
    // between the starts of two pages of one host (milliseconds) and the time
    // a page may take to load (seconds, 0 for none). A value out of range is
    // read as the nearest end of its range. The time limit, while not set, is
    // its default for a run of several pages and none for the run of one page
    // at a time.
    struct Range
    {
        int least;
        int most;
        int byDefault;
    };
    static constexpr Range ParallelPagesRange{1, 16, 1};
    static constexpr Range HostDelayRange{0, 60000, 0};
    static constexpr Range PageTimeoutRange{0, 3600, 60};
    int ParallelPages() const;
    void setParallelPages(int value);
    int HostDelay() const;
    void setHostDelay(int value);
    int PageTimeout() const;
    void setPageTimeout(int value);
    // Whether the file holds a time limit of its own.
    bool PageTimeoutSet() const;

    // The program file's path with its extension replaced by ".ini" (appended
    // when it has none).
    static QString programPath();
    // The program file's folder with a trailing "/".
    static QString programFolder();

private:
    int ReadInRange(const QString& key, Range range) const;

    QString m_path;
};

} // namespace pagrim
