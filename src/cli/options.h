#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace pagrim::cli {

// An example for the markers command: a saved page's number and the value as
// that page shows it.
struct MarkerValue
{
    int page = 0;
    QString value;
};

// What pagrim-run is asked to do.
struct RunOptions
{
    bool list = false;
    bool update = false; // in the place of list: the pages the site has added
    bool save = false;
    bool extract = false;
    bool test = false;
    bool login = false;
    bool quiet = false;
    QString storePath;    // empty: Pagrim.mdb in the current folder
    QString settingsPath; // empty: pagrim.ini beside the program
    QString task;         // a task name, or a task key
    int parallel = 0;     // pages loading at once; 0: as the settings say
    // "markers TASK": markers proposed from the values, over a sample of that
    // many saved pages; no step runs.
    bool markers = false;
    QList<MarkerValue> values;
    int sample = 50;

    // Without a step named, the list (or its update), the pages and the
    // extraction are made.
    bool allSteps() const { return !list && !save && !extract && !test && !markers; }
};

// The exit statuses of pagrim-run.
enum ExitStatus
{
    Done = 0,
    Failed = 1,
    Misused = 2,
    LoggedOut = 3,
    Interrupted = 130
};

// Reads the command line (the program's name first) into options. Help and
// version are written and end the program; a wrong command line gives false
// and its error text.
bool parseCommandLine(const QStringList& arguments, RunOptions& options, QString& error);

} // namespace pagrim::cli
