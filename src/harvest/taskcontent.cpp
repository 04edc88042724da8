#include "harvest/taskcontent.h"

#include "extract/core/extraction.h"
#include "extract/core/pagetext.h"
#include "harvest/hiddenpage.h"
#include "platform/codepage.h"
#include "store/dataset.h"
#include "store/taskoptions.h"

#include <algorithm>

namespace pagrim::harvest {

namespace {

bool hasShownByte(QByteArrayView value)
{
    return std::any_of(value.begin(), value.end(),
                       [](char c) { return c != ' ' && c != '\t' && c != '\r' && c != '\n'; });
}

} // namespace

ContentRule taskContentRule(store::DataSet& task)
{
    const int taskId = task.field(QStringLiteral("TaskID")).asInteger();
    ContentRule rule;
    rule.waitMs = qBound(0, store::readTaskOptions(task.connection(), taskId).contentWait,
                         ContentRule::MaxWaitMs);
    if (!rule.waits())
        return rule;
    store::DataSet fields(task.connection());
    fields.setCommandText(QStringLiteral("select * from descs where taskid=:taskid"));
    fields.setParameter(QStringLiteral("taskid"), taskId);
    fields.open();
    std::vector<extract::ExtractField> ticked =
        extract::SelectedFields(fields, codepage::current());
    if (ticked.empty())
        return rule;
    rule.ready = [ticked = std::move(ticked)](const QString& html) {
        const QByteArray text = extract::PageText(documentBytes(html));
        return std::all_of(ticked.begin(), ticked.end(), [&](const extract::ExtractField& f) {
            const extract::Cut cut = extract::CutBetweenMarkers(text, f.start, f.end);
            return cut.found && hasShownByte(cut.value);
        });
    };
    return rule;
}

} // namespace pagrim::harvest
