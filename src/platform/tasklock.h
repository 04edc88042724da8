#pragma once

#include "platform/taskfolder.h"

#include <QString>
#include <memory>

class QLockFile;

namespace pagrim {

// Keeps a task to one program at a time: the execution window while it is open
// and pagrim-run for its whole run hold the hidden lock file of the task
// folder. The lock of a program that died is taken over; a live one is never
// taken however old it is. Released when the object goes.
class TaskLock
{
public:
    explicit TaskLock(const TaskFolder& folder);
    ~TaskLock();
    TaskLock(const TaskLock&) = delete;
    TaskLock& operator=(const TaskLock&) = delete;

    // What the user is told when another program holds the task.
    static QString busyText();

    // Takes the lock, making the task folder first (EnsureFolder's error when it
    // cannot); false when another program holds it. A lock file that cannot be
    // written throws Error.
    bool take();
    bool held() const;

private:
    TaskFolder m_folder;
    std::unique_ptr<QLockFile> m_file;
};

} // namespace pagrim
