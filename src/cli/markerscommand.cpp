#include "cli/markerscommand.h"

#include "cli/progress.h"
#include "extract/core/markers.h"
#include "extract/core/pagetext.h"
#include "platform/codepage.h"
#include "platform/taskfolder.h"

#include <QDir>
#include <QFile>
#include <cstdio>

namespace pagrim::cli {

namespace {

// The numbers of the saved pages (HTML/<n>.Htm), ascending.
std::vector<int> savedPages(const TaskFolder& folder)
{
    std::vector<int> numbers;
    const QStringList names =
        QDir(folder.pages()).entryList({QStringLiteral("*.Htm")}, QDir::Files);
    for (const QString& name : names) {
        bool ok = false;
        const int n = name.chopped(4).toInt(&ok);
        if (ok && n > 0 && folder.pageFile(n).endsWith(name))
            numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

QString jsonString(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

} // namespace

int SuggestMarkersCommand(const TaskFolder& folder, const RunOptions& options, Progress& progress)
{
    const std::vector<int> saved = savedPages(folder);
    std::vector<extract::MarkerExample> examples;
    std::vector<int> required;
    for (const MarkerValue& v : options.values) {
        if (!std::binary_search(saved.begin(), saved.end(), v.page)) {
            progress.error(QStringLiteral("没有保存的网页：") + folder.pageFile(v.page));
            return Failed;
        }
        examples.push_back({v.page, v.value, 1});
        required.push_back(v.page);
    }
    std::vector<extract::SamplePage> sample;
    for (const int n : extract::SpreadSample(saved, options.sample, required)) {
        QFile file(folder.pageFile(n));
        if (!file.open(QIODevice::ReadOnly)) {
            progress.error(QStringLiteral("读不出网页：") + file.fileName());
            return Failed;
        }
        sample.push_back({n, extract::PageText(file.readAll())});
    }
    const int codePage = codepage::current();
    const extract::MarkerSuggestion s = extract::SuggestMarkers(sample, examples, codePage);
    if (!s.problem.isEmpty()) {
        progress.error(s.problem);
        return Failed;
    }
    const QByteArray json =
        QStringLiteral("{\"start\": %1, \"end\": %2, \"found\": %3, \"sampled\": %4}\n")
            .arg(jsonString(codepage::toUnicode(s.start, codePage)),
                 jsonString(codepage::toUnicode(s.end, codePage)), QString::number(s.found),
                 QString::number(sample.size()))
            .toUtf8();
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    std::fflush(stdout);
    return Done;
}

} // namespace pagrim::cli
