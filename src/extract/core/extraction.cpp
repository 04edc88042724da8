#include "extract/core/extraction.h"

#include "extract/core/shown.h"
#include "extract/core/workbook.h"
#include "platform/codepage.h"
#include "platform/filewrite.h"
#include "platform/taskfolder.h"
#include "store/dataset.h"
#include "store/descoptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace pagrim::extract {

std::vector<ExtractField> SelectedFields(store::DataSet& fields, int codePage)
{
    std::vector<ExtractField> selected;
    if (fields.isEmpty())
        return selected;
    const store::ControlsDisabled still(fields);
    fields.first(); // stores a pending row
    while (!fields.eof()) {
        if (fields.field(QStringLiteral("DescNeed")).asBoolean()) {
            const auto bytes = [&](const char* column) {
                return codepage::fromUnicode(fields.field(QLatin1String(column)).asString(),
                                             codePage);
            };
            const int key = fields.field(QStringLiteral("DescID")).asInteger();
            selected.push_back({bytes("DescName"), bytes("DescStart"), bytes("DescEnd"),
                                store::readDescOptions(fields.connection(), key).shownText});
        }
        fields.next();
    }
    return selected;
}

QByteArray HeaderLine(const std::vector<ExtractField>& fields, const QByteArray& separator,
                      int codePage)
{
    QByteArray line = codepage::fromUnicode(QStringLiteral("序号"), codePage);
    for (const ExtractField& f : fields)
        line += separator + f.name;
    return line;
}

QString PageStatus(const QString& path)
{
    return QStringLiteral(" 正在处理 - ") + path + QStringLiteral("，请稍候...");
}

void ExtractHost::PageExtracting(const QString& path)
{
    ShowExtractStatus(PageStatus(path));
}

namespace {
bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// <0, 0, >0 as a comes before, with or after b in natural order.
int naturalCompare(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            // Leading zeros count for nothing; then the longer number is larger.
            qsizetype si = i, sj = j;
            while (si + 1 < ei && a[si] == QLatin1Char('0'))
                ++si;
            while (sj + 1 < ej && b[sj] == QLatin1Char('0'))
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            const int c =
                QStringView(a).sliced(si, ei - si).compare(QStringView(b).sliced(sj, ej - sj));
            if (c != 0)
                return c;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return 0;
}
} // namespace

bool NaturalLess(const QString& a, const QString& b)
{
    const int c = naturalCompare(a, b);
    return c != 0 ? c < 0 : a < b;
}

Extraction::Extraction(ExtractHost& host, std::vector<ExtractField> fields, QByteArray separator,
                       QList<QByteArray>& lines, int codePage, ResultTable* table)
    : m_host(host), m_fields(std::move(fields)), m_separator(std::move(separator)), m_lines(lines),
      m_codePage(codePage), m_table(table)
{
    Q_ASSERT(!m_table || m_table->columns().size() == qsizetype(m_fields.size()));
}

void Extraction::ExtractFolder(const QString& folder)
{
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    const QFileInfoList infos = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    // Each name is taken once: the sort compares every one of them many times.
    std::vector<std::pair<QString, const QFileInfo*>> entries;
    entries.reserve(size_t(infos.size()));
    for (const QFileInfo& info : infos)
        entries.emplace_back(info.fileName(), &info);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return NaturalLess(a.first, b.first); });
    qint64 files = 0;
    for (const auto& [name, entry] : entries) {
        if (entry->isDir()) {
            // A link to a folder could lead back up the tree: it is not walked.
            if (!entry->isSymLink())
                ExtractFolder(path + name);
        } else {
            ExtractPage(path + name);
            ++files;
            if (m_host.TestMode() && files >= qint64(m_host.TestValue()) + 2)
                break;
        }
        m_host.ProcessPendingEvents();
    }
}

void Extraction::ExtractPage(const QString& path)
{
    m_host.PageExtracting(path);
    PageText(readFileOrThrow(path), m_pageText);
    cutFields(m_pageText, m_cuts, m_shown);
    const QByteArray line = lineOf(m_cuts);
    if (line.isEmpty())
        return;
    m_lines.append(QByteArray::number(m_lines.size()) + line);
    if (!m_table)
        return;
    // Each value on its own, CR LF removed as from the line.
    for (const Cut& cut : m_cuts) {
        if (!cut.found || !cut.value.contains('\r'))
            m_table->append(cut.found ? cut.value : QByteArrayView());
        else
            m_table->append(
                ReplaceAtCharStarts(QByteArray::fromRawData(cut.value.data(), cut.value.size()),
                                    "\r\n", {}, m_codePage));
    }
}

QByteArray Extraction::PageLine(QByteArrayView pageText) const
{
    std::vector<Cut> cuts;
    std::vector<QByteArray> shown;
    cutFields(pageText, cuts, shown);
    return lineOf(cuts);
}

void Extraction::cutFields(QByteArrayView pageText, std::vector<Cut>& cuts,
                           std::vector<QByteArray>& shown) const
{
    cuts.clear();
    shown.resize(m_fields.size());
    for (size_t i = 0; i < m_fields.size(); ++i) {
        Cut cut = CutBetweenMarkers(pageText, m_fields[i].start, m_fields[i].end);
        // Made of the cut as it stands, line breaks and all: they are white space.
        if (cut.found && m_fields[i].shownText) {
            shown[i] = ShownValue(cut.value, m_codePage);
            cut.value = shown[i];
        }
        cuts.push_back(cut);
    }
}

QByteArray Extraction::lineOf(const std::vector<Cut>& cuts) const
{
    QByteArray line;
    bool found = false;
    for (const Cut& cut : cuts) {
        line += m_separator;
        if (cut.found) {
            line.append(cut.value.data(), cut.value.size());
            found = true;
        }
    }
    if (!found)
        return {};
    return ReplaceAtCharStarts(line, "\r\n", {}, m_codePage);
}

void RunExtraction(ExtractHost& host, store::DataSet& fields, const TaskFolder& taskFolder,
                   const QByteArray& separator, QList<QByteArray>& lines, int codePage,
                   ResultTable* table)
{
    lines.clear();
    std::vector<ExtractField> selected = SelectedFields(fields, codePage);
    lines.append(HeaderLine(selected, separator, codePage));
    if (table) {
        QList<QByteArray> names;
        std::vector<bool> shownText;
        for (const ExtractField& f : selected) {
            names.append(f.name);
            shownText.push_back(f.shownText);
        }
        table->reset(std::move(names), std::move(shownText));
    }
    const QString pages = taskFolder.ensurePages();
    Extraction run(host, std::move(selected), separator, lines, codePage, table);
    run.ExtractFolder(pages);
}

namespace {
// Where libxlsxwriter writes the workbook before it joins the set: a name no
// file of the user's has.
QString bookScratch(const TaskFolder& taskFolder)
{
    return ownTemporaryPath(taskFolder.resultBook(), QStringLiteral("book"));
}
} // namespace

namespace {

// A value in Infos.xls: the separator TAB as in the line, a TAB of its own a
// blank, both where a character begins.
QByteArray sheetValue(const QByteArray& value, const QByteArray& separator, int codePage)
{
    if (!value.contains('\t'))
        return ReplaceAtCharStarts(value, separator, "\t", codePage);
    QByteArray out;
    for (qsizetype i = 0; i < value.size();) {
        if (!separator.isEmpty() && QByteArrayView(value).sliced(i).startsWith(separator)) {
            out += '\t';
            i += separator.size();
        } else {
            const qsizetype n = codepage::charLength(value, i, codePage);
            out += value[i] == '\t' ? QByteArray(" ") : value.mid(i, n);
            i += n;
        }
    }
    return out;
}

} // namespace

QByteArray SheetText(const QList<QByteArray>& lines, const ResultTable& table,
                     const QByteArray& separator, int codePage)
{
    QByteArray sheet;
    // Made of the values where the table holds every line: a TAB of a value's
    // own would read as a column break.
    const bool byValue =
        !lines.isEmpty() && table.rowCount() == lines.size() - 1 && !table.columns().isEmpty();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!byValue || i == 0) {
            sheet += ReplaceAtCharStarts(lines[i], separator, "\t", codePage) + "\r\n";
            continue;
        }
        sheet += QByteArray::number(i);
        for (qsizetype c = 0; c < table.columns().size(); ++c)
            sheet += '\t' + sheetValue(table.value(i - 1, c).toByteArray(), separator, codePage);
        sheet += "\r\n";
    }
    return sheet;
}

void FinishResultFiles(const TaskFolder& taskFolder)
{
    completeFileSet(taskFolder.resultFiles());
    QFile::remove(bookScratch(taskFolder));
}

void WriteResultFiles(const TaskFolder& taskFolder, const QList<QByteArray>& lines,
                      const QByteArray& separator, int codePage, const ResultTable& table,
                      const QString& taskName)
{
    qsizetype size = 0;
    for (const QByteArray& line : lines)
        size += line.size() + 2;
    QByteArray text;
    text.reserve(size);
    for (const QByteArray& line : lines) {
        text += line;
        text += "\r\n";
    }
    QByteArray sheet = SheetText(lines, table, separator, codePage);
    removeLeftoverTemporaries(taskFolder.path(), QStringLiteral("Infos\\.(?:txt|xlsx?)"));
    SetFile book{taskFolder.resultBook(), {}, {}};
    MakeWorkbook(table, taskName, codePage, bookScratch(taskFolder), book.bytes, book.unmade);
    writeFilesOrThrow({{taskFolder.resultText(), text, {}},
                       {taskFolder.resultSheet(), std::move(sheet), {}},
                       std::move(book)});
}

} // namespace pagrim::extract
