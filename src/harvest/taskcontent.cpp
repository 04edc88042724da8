#include "harvest/taskcontent.h"

#include "extract/core/extraction.h"
#include "extract/core/pagetext.h"
#include "extract/core/shown.h"
#include "harvest/hiddenpage.h"
#include "platform/codepage.h"
#include "platform/text.h"
#include "store/dataset.h"
#include "store/taskoptions.h"

#include <algorithm>

namespace pagrim::harvest {

namespace {

// Whether a field's value, as the extraction writes it, holds more than blanks.
bool holdsValue(const extract::ExtractField& field, QByteArrayView cut, int codePage)
{
    const QByteArray shown = field.shownText ? extract::ShownValue(cut, codePage) : QByteArray();
    const QByteArrayView value = field.shownText ? QByteArrayView(shown) : cut;
    return !std::all_of(value.begin(), value.end(), isBlankByte);
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
    const int codePage = codepage::current();
    std::vector<extract::ExtractField> ticked = extract::SelectedFields(fields, codePage);
    if (ticked.empty())
        return rule;
    rule.ready = [ticked = std::move(ticked), codePage](const QString& html) {
        const QByteArray text = extract::PageText(documentBytes(html));
        return std::all_of(ticked.begin(), ticked.end(), [&](const extract::ExtractField& f) {
            const extract::Cut cut = extract::CutBetweenMarkers(text, f.start, f.end);
            return cut.found && holdsValue(f, cut.value, codePage);
        });
    };
    return rule;
}

} // namespace pagrim::harvest
