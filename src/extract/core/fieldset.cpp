#include "extract/core/fieldset.h"

#include "store/dataset.h"

namespace pagrim::extract {

void SetAllDescNeed(store::DataSet& fields, bool value)
{
    if (fields.isEmpty())
        return;
    const store::ControlsDisabled still(fields);
    fields.first(); // stores a pending row
    while (!fields.eof()) {
        store::Field need = fields.field(QStringLiteral("DescNeed"));
        if (need.asBoolean() != value) {
            fields.edit();
            need.setValue(value);
            fields.post();
        }
        fields.next();
    }
    fields.last();
}

} // namespace pagrim::extract
