#pragma once

#include <QString>

namespace pagrim::store {

class Connection;

// What a task needs beyond the columns of Tasks, kept in the table TaskOptions
// by TaskID. A task without a row there, or with a NULL column, has the default.
struct TaskOptions
{
    // The page engine: "browser" (empty means the same) or "direct", pages
    // fetched without the browser.
    QString pageEngine;
    // How long, in milliseconds, a loaded page may wait for the values that
    // its scripts fill in; 0 takes it as its load ends.
    int contentWait = 0;
    // Text a page of the site shows once it has forgotten the login (at most
    // 255 characters); empty: none.
    QString loggedOutText;

    bool direct() const { return pageEngine == QLatin1String(PageEngineDirect); }
    bool operator==(const TaskOptions&) const = default;

    static constexpr const char* PageEngineBrowser = "browser";
    static constexpr const char* PageEngineDirect = "direct";
};

// The options of a task: the defaults for a task without a row, and for every
// task of a store that lacks the table (one that could not be changed at open).
TaskOptions readTaskOptions(Connection& connection, int taskId);

// Stores the options of a task, within the caller's transaction when one is
// open. A store that lacks the table or a column gets it first.
void writeTaskOptions(Connection& connection, int taskId, const TaskOptions& options);

// Drops the options of a task, within the caller's transaction when one is open.
void deleteTaskOptions(Connection& connection, int taskId);

} // namespace pagrim::store
