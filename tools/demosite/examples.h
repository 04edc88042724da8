#pragma once

#include <QList>
#include <QString>

namespace pagrim::store {
class Database;
}

// The example tasks on the example site, with their fields.
namespace pagrim::demosite {

struct ExampleField
{
    QString name;
    QString start; // markers; line breaks as CR LF
    QString end;
};

struct ExampleTask
{
    QString name;
    QString desc;
    bool ordinal = true; // WebType
    QString listAddr;    // ResLstAddr
    QString addr;        // ResAddr
    QString loginAddr;
    QString nextPageAddr;
    int start = 0;
    int end = 0;
    QList<ExampleField> fields;
};

// The three tasks on the site at site ("http://127.0.0.1:8808/"): numbered
// article pages, the articles of the list pages, and the member pages behind
// the login.
QList<ExampleTask> exampleTasks(const QString& site);

// Adds the example tasks and their fields to an open store, with keys above
// those already there, created now and with both counters at 0.
void addExampleTasks(store::Database& db, const QString& site);

} // namespace pagrim::demosite
