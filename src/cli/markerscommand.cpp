#include "cli/markerscommand.h"

#include "cli/progress.h"
#include "extract/core/markers.h"
#include "extract/core/savedpages.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/taskfolder.h"

#include <cstdio>

namespace pagrim::cli {

namespace {

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
    const std::vector<int> saved = extract::SavedPageNumbers(folder);
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
    try {
        sample =
            extract::LoadSample(folder, extract::SpreadSample(saved, options.sample, required));
    } catch (const Error& e) {
        progress.error(e.message());
        return Failed;
    }
    const int codePage = codepage::current();
    const extract::MarkerSuggestion s = extract::SuggestMarkers(sample, examples, codePage);
    // Markers that miss an example's value cut it wrong: no markers for a
    // script to use.
    if (!s.problem.isEmpty() || !s.note.isEmpty()) {
        progress.error(s.problem.isEmpty() ? s.note : s.problem);
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
