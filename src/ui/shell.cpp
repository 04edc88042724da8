#include "ui/shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace pagrim::ui {

namespace {
std::function<void(const QString&, const QString&)>& shellSlot()
{
    static std::function<void(const QString&, const QString&)> handler;
    return handler;
}
std::function<bool(const QString&)>& startSlot()
{
    static std::function<bool(const QString&)> handler;
    return handler;
}
std::function<std::optional<QString>(const QString&)>& folderSlot()
{
    static std::function<std::optional<QString>(const QString&)> handler;
    return handler;
}

QString folderChooserStart()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return desktop;
    return QDir::homePath();
}
} // namespace

void ShellExecute(QWidget*, const QString& verb, const QString& path)
{
    if (const auto& handler = shellSlot()) {
        handler(verb, path);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void setShellHandler(std::function<void(const QString&, const QString&)> handler)
{
    shellSlot() = std::move(handler);
}

bool StartProgram(const QString& program)
{
    if (const auto& handler = startSlot())
        return handler(program);
    return QProcess::startDetached(program, {});
}

void setStartProgramHandler(std::function<bool(const QString&)> handler)
{
    startSlot() = std::move(handler);
}

std::optional<QString> SelectFolder(QWidget* owner, const QString& prompt)
{
    if (const auto& handler = folderSlot())
        return handler(prompt);
    const QString dir = QFileDialog::getExistingDirectory(owner, prompt, folderChooserStart(),
                                                          QFileDialog::ShowDirsOnly);
    if (dir.isEmpty())
        return std::nullopt;
    return dir;
}

void setSelectFolderHandler(std::function<std::optional<QString>(const QString&)> handler)
{
    folderSlot() = std::move(handler);
}

} // namespace pagrim::ui
