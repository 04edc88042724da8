#include "harvest/core/taskfolder.h"

#include "platform/errors.h"
#include "platform/filewrite.h"
#include "platform/text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pagrim::harvest {

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

QString taskFolderFor(const QString& workFolder, const QString& taskName)
{
    return workFolder + toSeparators(taskName);
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

std::optional<QList<QByteArray>> LoadPageList(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return splitLines(readFileOrThrow(path));
}

GaugeSetting pageListGauge(int lineCount, int savedCount)
{
    GaugeSetting g;
    g.maximum = qMax(0, lineCount - 1);
    g.position = qBound(0, savedCount, g.maximum);
    return g;
}

} // namespace pagrim::harvest
