#pragma once

#include "harvest/core/contentwait.h"
#include "harvest/core/pagelog.h"
#include "platform/taskfolder.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace pagrim::store {
class DataSet;
}

namespace pagrim::harvest {

// What a harvesting run needs of the window it runs in.
class RunHost
{
public:
    virtual ~RunHost() = default;

    // The harvesting status line: set at once, and painted at once unless texts
    // come faster than the eye reads them; then within a tenth of a second.
    virtual void ShowStatus(const QString& text) = 0;
    // A page of a side-by-side run starts to open: shows its openingStatus.
    virtual void PageOpening(const QString& address);
    // False once the user has asked the run to stop.
    virtual bool Running() const = 0;
    // One pass over the pending events, without waiting.
    virtual void ProcessEvents() = 0;
    // The current task row, read and written in place.
    virtual store::DataSet& TaskRecord() = 0;
    // The work folder, ending with "/".
    virtual QString WorkFolder() const = 0;
    // The current task's folder below the work folder.
    TaskFolder taskFolder();
    // Fills lines from the task's page list file and sets the gauge to the
    // number of addresses and SaveCurrent; false, and nothing changed, when the
    // task has no page list file.
    virtual bool LoadPageList(QList<QByteArray>& lines);
    // The page saving gauge: its maximum and position.
    virtual void SetGauge(int maximum, int position) = 0;
    // Whether a page's document (in the program code page) shows text, read
    // as the field picker reads a page: tags left out, character references
    // decoded, runs of white space as one blank.
    virtual bool PageShows(const QByteArray& document, const QString& text) const = 0;
    // A page of a side-by-side run is handled: its file and log line are
    // written. The one-page-at-a-time run tells its failures by message box.
    virtual void PageHandled(const PageLogEntry&) {}
    // What the current task's content pages must hold before they are saved;
    // list pages wait by its steady() rule.
    virtual ContentRule PageContent() { return {}; }
};

} // namespace pagrim::harvest
