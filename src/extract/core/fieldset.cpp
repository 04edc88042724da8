#include "extract/core/fieldset.h"

#include "platform/codepage.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "store/descoptions.h"

namespace pagrim::extract {

namespace {
const QString DescNeed = QStringLiteral("DescNeed");

// Posts the current row, which is being edited, with its options: both are
// stored or neither.
void postWithOptions(store::DataSet& fields, const store::DescOptions& options)
{
    const int key = fields.field(QStringLiteral("DescID")).asInteger();
    store::Connection& conn = fields.connection();
    fields.post([&](const std::function<void()>& write) {
        store::Transaction transaction(conn);
        write();
        store::writeDescOptions(conn, key, options);
        transaction.commit();
    });
}
} // namespace

void FillNewField(store::DataSet& fields, store::Connection& conn, int taskId)
{
    const int key = store::allocateKey(conn, QStringLiteral("select max(DescID) from Descs "));
    fields.field(QStringLiteral("DescID")).setValue(key);
    fields.field(QStringLiteral("TaskID")).setValue(taskId);
    const auto count = store::CreateScratchQuery(conn);
    count->setCommandText(QStringLiteral("select count(*) from Descs where TaskID = ") +
                          QString::number(taskId));
    count->open();
    fields.field(QStringLiteral("DescName"))
        .setValue(QStringLiteral("提取字段") + QString::number(count->field(0).asInteger() + 1));
    fields.field(DescNeed).setValue(true);
}

void SetAllDescNeed(store::DataSet& fields, bool value)
{
    if (fields.isEmpty())
        return;
    const store::ControlsDisabled still(fields);
    fields.first(); // stores a pending row
    while (!fields.eof()) {
        store::Field need = fields.field(DescNeed);
        if (need.asBoolean() != value) {
            fields.edit();
            need.setValue(value);
            fields.post();
        }
        fields.next();
    }
    fields.last();
}

void SwitchDescNeed(store::DataSet& fields)
{
    if (fields.isEmpty())
        return;
    const store::ControlsDisabled still(fields);
    fields.edit(); // a pending row stays pending, with what was typed
    store::Field need = fields.field(DescNeed);
    need.setValue(!need.asBoolean());
    fields.post();
}

void SetDescMarkers(store::DataSet& fields, QByteArrayView start, QByteArrayView end, int codePage,
                    const store::DescOptions& options)
{
    if (fields.isEmpty())
        return;
    const store::ControlsDisabled still(fields);
    fields.edit();
    fields.updateRecord(); // the text typed into the row first, so the markers win
    fields.field(QStringLiteral("DescStart"))
        .setValue(codepage::toUnicode(start.toByteArray(), codePage));
    fields.field(QStringLiteral("DescEnd"))
        .setValue(codepage::toUnicode(end.toByteArray(), codePage));
    postWithOptions(fields, options);
}

void SetShownText(store::DataSet& fields, bool shownText)
{
    if (fields.isEmpty())
        return;
    const store::ControlsDisabled still(fields);
    store::DescOptions options = store::readDescOptions(
        fields.connection(), fields.field(QStringLiteral("DescID")).asInteger());
    options.shownText = shownText;
    fields.edit(); // a pending row stays pending, with what was typed
    postWithOptions(fields, options);
}

} // namespace pagrim::extract
