#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The work folder, the task folders below it and the page list file of a task.
// Paths use "/"; a "\" in a task name or in the work path counts as a separator
// too, so the task "A\B" lives in folder B inside folder A.
namespace pagrim::harvest {

// The page list file below a task folder.
inline constexpr char PageListName[] = "ResHtmls.lst";
// Beside it, how far the page list goes (see BuildPageList).
inline constexpr char PageListMarkName[] = "ResHtmls.pos";

// "\" turned into "/"; nothing else of the path changes.
QString toSeparators(const QString& path);

// The work folder: workPath when a folder of that name exists (taken as it is,
// so "D:/Data" gives "D:/DataWorkDir/"), else programFolder (which ends with
// "/"), followed by "WorkDir/" in both cases. Nothing is created.
QString workFolderFor(const QString& workPath, const QString& programFolder);

// The task folder: the work folder followed directly by the task name.
QString taskFolderFor(const QString& workFolder, const QString& taskName);

// Makes the folder with every missing level and gives the path back unchanged;
// throws Error "工作路径访问失败！" when it still does not exist.
QString EnsureFolder(const QString& path);

// The lines of the page list file at path, in the program code page; nothing
// when no file is there. A file that is there but cannot be read throws Error.
std::optional<QList<QByteArray>> LoadPageList(const QString& path);

// The page saving gauge for a page list of lineCount lines (the last one is the
// summary line) of which savedCount pages are saved.
struct GaugeSetting
{
    int maximum = 0;
    int position = 0;
};
GaugeSetting pageListGauge(int lineCount, int savedCount);

} // namespace pagrim::harvest
