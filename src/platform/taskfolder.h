#pragma once

#include <QString>
#include <QStringList>

// The work folder, the task folders below it and the files of a task folder.
// Paths use "/"; a "\" in a task name or in the work path counts as a separator
// too, so the task "A\B" lives in folder B inside folder A.
namespace pagrim {

// "\" turned into "/"; nothing else of the path changes.
QString toSeparators(const QString& path);

// The work folder: workPath when a folder of that name exists (taken as it is,
// so "D:/Data" gives "D:/DataWorkDir/"), else programFolder (which ends with
// "/"), followed by "WorkDir/" in both cases. Nothing is created.
QString workFolderFor(const QString& workPath, const QString& programFolder);

// Makes the folder with every missing level and gives the path back unchanged;
// throws Error "工作路径访问失败！" when it still does not exist.
QString EnsureFolder(const QString& path);

// One task's folder and the names of what the runs keep in it. Only paths:
// nothing is made or read here but by ensure() and ensurePages().
class TaskFolder
{
public:
    // The work folder (ending with "/") followed directly by the task name.
    TaskFolder(const QString& workFolder, const QString& taskName);
    // A folder given whole, without a trailing separator.
    explicit TaskFolder(const QString& path) : m_path(path) {}

    const QString& path() const { return m_path; }
    // The page list (ResHtmls.lst) and, beside it, how far the list goes.
    QString pageList() const { return file(QStringLiteral("ResHtmls.lst")); }
    QString pageListMark() const { return file(QStringLiteral("ResHtmls.pos")); }
    // The saved pages: the folder HTML, ending with "/", and line n's page in it.
    QString pages() const { return file(QStringLiteral("HTML/")); }
    QString pageFile(int line) const
    {
        return pages() + QString::number(line) + QStringLiteral(".Htm");
    }
    // One line for every page a saving run has handled (ResHtmls.log).
    QString pageLog() const { return file(QStringLiteral("ResHtmls.log")); }
    // The result files, written together as one set in this order.
    QString resultText() const { return file(QStringLiteral("Infos.txt")); }
    QString resultSheet() const { return file(QStringLiteral("Infos.xls")); }
    QString resultBook() const { return file(QStringLiteral("Infos.xlsx")); }
    QStringList resultFiles() const { return {resultText(), resultSheet(), resultBook()}; }
    // The hidden lock file of the program that runs the task (TaskLock).
    QString lockFile() const { return file(QStringLiteral(".pagrim-lock")); }

    // EnsureFolder of the folder, of its pages folder.
    void ensure() const { EnsureFolder(m_path); }
    QString ensurePages() const { return EnsureFolder(pages()); }

private:
    QString file(const QString& name) const { return m_path + QLatin1Char('/') + name; }
    QString m_path;
};

} // namespace pagrim
