#include "extract/core/workbook.h"

#include "extract/core/resulttable.h"
#include "platform/codepage.h"
#include "platform/text.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <algorithm>
#include <memory>
#include <vector>
#include <xlsxwriter.h>

namespace pagrim::extract {

namespace {

constexpr qsizetype SheetNameLimit = 31;
constexpr qsizetype CellLimit = 32767; // characters a cell holds
constexpr qsizetype WidthRows = 200;
constexpr int MinWidth = 6;
constexpr int MaxWidth = 60;
// Rows stream to the file as they are written, their strings inline: neither
// memory nor a table of shared strings grows with the run.
constexpr bool ConstantMemory = true;

// A value as a cell holds it, in UTF-8: a literal "_xHHHH_" escaped, which a
// spreadsheet program would read as the character HHHH; NUL, which would end
// the C string, escaped that way (libxlsxwriter escapes the other controls);
// the two non-characters XML cannot carry replaced; cut to what a cell holds.
QByteArray cellText(QString text)
{
    static const QRegularExpression escapeLike(QStringLiteral("_(x[0-9A-Fa-f]{4}_)"));
    if (text.contains(QLatin1String("_x")))
        text.replace(escapeLike, QStringLiteral("_x005F_\\1"));
    if (text.contains(QChar(0)))
        text.replace(QChar(0), QLatin1String("_x0000_"));
    for (QChar& c : text)
        if (c.unicode() >= 0xFFFE)
            c = QChar::ReplacementCharacter;
    if (text.size() > CellLimit) {
        text.truncate(CellLimit);
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    return text.toUtf8();
}

// A cell is Unicode: shown text gets back what the code page could not hold.
QString decoded(QByteArrayView value, int codePage, bool shownText = false)
{
    const QByteArray bytes = QByteArray::fromRawData(value.data(), value.size());
    return shownText ? codepage::toUnicodeWithReferences(bytes, codePage)
                     : codepage::toUnicode(bytes, codePage);
}

int columnWidth(int characters)
{
    return std::clamp(characters + 1, MinWidth, MaxWidth);
}

struct CloseBook
{
    void operator()(lxw_workbook* book) const { workbook_close(book); }
};

} // namespace

QString SheetName(const QString& taskName)
{
    QString name = taskName.left(SheetNameLimit);
    if (name.size() == SheetNameLimit && name.back().isHighSurrogate())
        name.chop(1);
    for (QChar& c : name)
        if (QStringView(u"[]:*?/\\").contains(c))
            c = QLatin1Char('_');
    if (name.startsWith(QLatin1Char('\'')))
        name[0] = QLatin1Char('_');
    if (name.endsWith(QLatin1Char('\'')))
        name.back() = QLatin1Char('_');
    if (name.isEmpty())
        return QStringLiteral("Sheet1");
    if (name.compare(QLatin1String("History"), Qt::CaseInsensitive) == 0)
        name += QLatin1Char('_');
    return name;
}

namespace {

// Fits the columns to the widest value of the first rows; the header's widths
// leave room for the filter button beside the name.
void fitColumns(lxw_worksheet* sheet, const QStringList& header, const ResultTable& table,
                int codePage)
{
    const qsizetype rows = table.rowCount();
    const qsizetype columns = header.size();
    std::vector<int> widths;
    for (const QString& name : header)
        widths.push_back(textColumns(name) + 2);
    const qsizetype measured = std::min(rows, WidthRows);
    widths[0] = std::max(widths[0], int(QByteArray::number(rows).size()));
    for (qsizetype r = 0; r < measured; ++r)
        for (qsizetype c = 1; c < columns; ++c)
            widths[size_t(c)] = std::max(
                widths[size_t(c)],
                textColumns(decoded(table.value(r, c - 1), codePage, table.shownText(c - 1))));
    for (qsizetype c = 0; c < columns; ++c)
        worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), columnWidth(widths[size_t(c)]),
                             nullptr);
}

} // namespace

bool MakeWorkbook(const ResultTable& table, const QString& taskName, int codePage,
                  const QString& scratch, QByteArray& bytes, QString& reason)
{
    const qsizetype rows = table.rowCount();
    const qsizetype columns = table.columns().size() + 1;
    if (rows >= qsizetype(LXW_ROW_MAX)) {
        reason = QStringLiteral("A worksheet holds %1 rows below its header at most.")
                     .arg(LXW_ROW_MAX - 1);
        return false;
    }
    const QByteArray path = QFile::encodeName(scratch);
    const auto removeScratch = qScopeGuard([&] { QFile::remove(scratch); });
    lxw_workbook_options options{};
    options.constant_memory = ConstantMemory;
    std::unique_ptr<lxw_workbook, CloseBook> book(workbook_new_opt(path.constData(), &options));
    if (!book) {
        reason = QString::fromUtf8(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED));
        return false;
    }
    // SOURCE_DATE_EPOCH, when set, stands for the time of making: the same
    // results then give the same bytes.
    if (qEnvironmentVariableIsSet("SOURCE_DATE_EPOCH")) {
        lxw_doc_properties properties{};
        properties.created = time_t(qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong());
        workbook_set_properties(book.get(), &properties);
    }
    lxw_worksheet* sheet =
        workbook_add_worksheet(book.get(), SheetName(taskName).toUtf8().constData());
    lxw_format* bold = workbook_add_format(book.get());
    if (!sheet || !bold) {
        reason = QString::fromUtf8(lxw_strerror(LXW_ERROR_PARAMETER_VALIDATION));
        return false;
    }
    format_set_bold(bold);

    QStringList header{QStringLiteral("序号")};
    for (const QByteArray& name : table.columns())
        header << decoded(name, codePage);
    fitColumns(sheet, header, table, codePage);
    worksheet_freeze_panes(sheet, 1, 0);
    worksheet_autofilter(sheet, 0, 0, lxw_row_t(rows), lxw_col_t(columns - 1));

    for (qsizetype c = 0; c < columns; ++c)
        worksheet_write_string(sheet, 0, lxw_col_t(c), cellText(header[c]).constData(), bold);
    for (qsizetype r = 0; r < rows; ++r) {
        const auto row = lxw_row_t(r + 1);
        worksheet_write_number(sheet, row, 0, double(r + 1), nullptr);
        for (qsizetype c = 1; c < columns; ++c) {
            const QByteArrayView value = table.value(r, c - 1);
            if (!value.isEmpty())
                worksheet_write_string(
                    sheet, row, lxw_col_t(c),
                    cellText(decoded(value, codePage, table.shownText(c - 1))).constData(),
                    nullptr);
        }
    }
    const lxw_error closed = workbook_close(book.release());
    if (closed != LXW_NO_ERROR) {
        reason = QString::fromUtf8(lxw_strerror(closed));
        return false;
    }
    QFile file(scratch);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        reason = file.errorString();
        return false;
    }
    return true;
}

} // namespace pagrim::extract
