#include "harvest/core/runhost.h"

#include "harvest/core/browser.h"
#include "harvest/core/pagelist.h"
#include "store/dataset.h"

namespace pagrim::harvest {

void RunHost::PageOpening(const QString& address)
{
    ShowStatus(openingStatus(address));
}

TaskFolder RunHost::taskFolder()
{
    return TaskFolder(WorkFolder(), TaskRecord().field(QStringLiteral("TaskName")).asString());
}

bool RunHost::LoadPageList(QList<QByteArray>& lines)
{
    store::DataSet& task = TaskRecord();
    const auto read = harvest::LoadPageList(taskFolder().pageList());
    if (!read)
        return false;
    lines = *read;
    const GaugeSetting g =
        pageListGauge(int(lines.size()), task.field(QStringLiteral("SaveCurrent")).asInteger());
    SetGauge(g.maximum, g.position);
    return true;
}

} // namespace pagrim::harvest
