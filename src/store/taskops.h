#pragma once

#include "store/taskoptions.h"

namespace pagrim::store {

class DataSet;

// The operations on the task query (select * from tasks) that the main window
// offers, without a window: they work on the query's current row and write
// through its connection.

// Fills a newly appended task: the next free TaskID, the name 新建任务<key>, the
// creation time, page kind true and the four counters at 0. The task query's
// after-insert handler.
void fillNewTask(DataSet& tasks);

// Appends a copy of the current task, every column but TaskID and TaskName
// (those come from fillNewTask), and leaves it pending for the editor. A copy
// that cannot be made whole is dropped, and the error goes on. Returns the
// options of the source, for the copy to be posted with.
TaskOptions appendTaskCopy(DataSet& tasks);

// Posts the pending task row with its options, in one transaction: on failure
// neither is stored, and the row stays pending with what was typed.
void postTask(DataSet& tasks, const TaskOptions& options);

// Deletes the current task together with its fields and options, in one
// transaction: a later task given the same key must not inherit them. On
// failure all stay, and the query shows the store as it is.
void deleteTask(DataSet& tasks);

} // namespace pagrim::store
