#include "platform/taskfolder.h"

#include "platform/errors.h"

#include <QDir>
#include <QFileInfo>

namespace pagrim {

QString toSeparators(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

QString workFolderFor(const QString& workPath, const QString& programFolder)
{
    const QString path = toSeparators(workPath);
    // An empty setting never names a folder (QFileInfo would take it as ".").
    const bool exists = !path.isEmpty() && QFileInfo(path).isDir();
    return (exists ? path : toSeparators(programFolder)) + QStringLiteral("WorkDir/");
}

QString EnsureFolder(const QString& path)
{
    const QString folder = toSeparators(path);
    if (!folder.isEmpty() && !QFileInfo(folder).isDir())
        QDir().mkpath(folder);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        throw Error(QStringLiteral("工作路径访问失败！"));
    return path;
}

TaskFolder::TaskFolder(const QString& workFolder, const QString& taskName)
    : m_path(workFolder + toSeparators(taskName))
{
}

} // namespace pagrim
