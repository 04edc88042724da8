#include "extract/core/fieldset.h"

#include "platform/codepage.h"
#include "store/dataset.h"

namespace pagrim::extract {

namespace {
const QString DescNeed = QStringLiteral("DescNeed");
}

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

void SetDescMarkers(store::DataSet& fields, QByteArrayView start, QByteArrayView end, int codePage)
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
    fields.post();
}

} // namespace pagrim::extract
