#include "store/descoptions.h"

#include "store/connection.h"
#include "store/schema.h"
#include "store/sqlite.h"

namespace pagrim::store {

DescOptions readDescOptions(Connection& connection, int descId)
{
    DescOptions options;
    // By name: a column that an older store could not be given keeps its default.
    if (!columnsOf(connection.database(), QStringLiteral("DescOptions"))
             .contains(QStringLiteral("ShownText"), Qt::CaseInsensitive))
        return options;
    Statement st(connection.handle(),
                 QStringLiteral("select ShownText from DescOptions where DescID = ?"));
    st.bind(1, descId);
    if (st.step())
        options.shownText = st.columnValue(0).toInt() != 0;
    return options;
}

void writeDescOptions(Connection& connection, int descId, const DescOptions& options)
{
    for (const QString& sql : upgradeSql(connection.database()))
        connection.database().exec(sql);
    Statement st(connection.handle(),
                 QStringLiteral("insert into DescOptions (DescID, ShownText) values (?, ?) on "
                                "conflict (DescID) do update set ShownText = excluded.ShownText"));
    st.bind(1, descId);
    st.bind(2, options.shownText ? 1 : 0);
    st.step();
}

} // namespace pagrim::store
