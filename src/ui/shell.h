#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

// The desktop's shell: open a folder or a file with its registered program,
// start a program, choose a folder. Tests replace each with a recorder.
namespace pagrim::ui {

// Opens path ("ExPlore" a folder, "Open" a file); the result is not reported.
void ShellExecute(QWidget* owner, const QString& verb, const QString& path);
void setShellHandler(std::function<void(const QString& verb, const QString& path)> handler);

// Starts program detached, without waiting; false when it could not start.
bool StartProgram(const QString& program);
void setStartProgramHandler(std::function<bool(const QString& program)> handler);

// Lets the user choose a folder (folders only), starting at the desktop folder
// (the home folder when there is none) with nothing chosen; nothing when cancelled.
std::optional<QString> SelectFolder(QWidget* owner, const QString& prompt);
void setSelectFolderHandler(std::function<std::optional<QString>(const QString& prompt)> handler);

} // namespace pagrim::ui
