#include "platform/tasklock.h"

#include "platform/errors.h"

#include <QLockFile>

namespace pagrim {

TaskLock::TaskLock(const TaskFolder& folder)
    : m_folder(folder), m_file(std::make_unique<QLockFile>(folder.lockFile()))
{
    // A run holds its task for hours: only a dead holder makes a lock stale.
    m_file->setStaleLockTime(0);
}

TaskLock::~TaskLock() = default;

QString TaskLock::busyText()
{
    return QStringLiteral("该任务正在另一个程序中运行。");
}

bool TaskLock::take()
{
    if (m_file->isLocked())
        return true;
    m_folder.ensure();
    if (m_file->tryLock(0))
        return true;
    if (m_file->error() == QLockFile::LockFailedError)
        return false;
    throw Error(QStringLiteral("Cannot create file \"%1\".").arg(m_folder.lockFile()));
}

bool TaskLock::held() const
{
    return m_file->isLocked();
}

} // namespace pagrim
