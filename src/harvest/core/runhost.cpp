#include "harvest/core/runhost.h"

#include "harvest/core/taskfolder.h"
#include "store/dataset.h"

namespace pagrim::harvest {

bool RunHost::LoadPageList(QList<QByteArray>& lines)
{
    store::DataSet& task = TaskRecord();
    const auto read = harvest::LoadPageList(
        taskFolderFor(WorkFolder(), task.field(QStringLiteral("TaskName")).asString()) +
        QLatin1Char('/') + QLatin1String(PageListName));
    if (!read)
        return false;
    lines = *read;
    const GaugeSetting g =
        pageListGauge(int(lines.size()), task.field(QStringLiteral("SaveCurrent")).asInteger());
    SetGauge(g.maximum, g.position);
    return true;
}

} // namespace pagrim::harvest
