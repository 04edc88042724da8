// The markers half of scripts/markers-corpus.py, which builds the corpus, reads
// the right values on its own and scores the cuts. Two uses:
//   bench_markers_corpus demosite FOLDER   writes the example site's articles
//                                          there as <n>.Htm
//   bench_markers_corpus < request.json    {"files": [...], "examples": [[i, "value", occurrence],
//   ...]}
// The second reads every file as a saved page (the sample is all of them, in
// the order given), proposes markers for the examples (i counts from 0) and
// prints {"start", "end", "found", "ms", "problem", "note", "values": [text or null]}.
#include "demosite/site.h"
#include "extract/core/markers.h"
#include "extract/core/pagetext.h"
#include "platform/codepage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

using namespace pagrim;
using namespace pagrim::extract;

namespace {

int dumpSite(const QString& folder)
{
    QDir().mkpath(folder);
    for (int n = 1; n <= demosite::ArticleCount; ++n) {
        demosite::Request request;
        request.path = QStringLiteral("/article/%1.html").arg(n);
        QFile file(folder + QStringLiteral("/%1.Htm").arg(n));
        if (!file.open(QIODevice::WriteOnly) || file.write(demosite::page(request).body) < 0)
            return 1;
    }
    return 0;
}

int suggest()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return 1;
    const QJsonObject request = QJsonDocument::fromJson(in.readAll()).object();
    std::vector<SamplePage> sample;
    for (const QJsonValue& name : request.value(QStringLiteral("files")).toArray()) {
        QFile file(name.toString());
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        sample.push_back({int(sample.size()) + 1, PageText(file.readAll())});
    }
    std::vector<MarkerExample> examples;
    for (const QJsonValue& e : request.value(QStringLiteral("examples")).toArray())
        examples.push_back({e.toArray().at(0).toInt() + 1, e.toArray().at(1).toString(),
                            e.toArray().at(2).toInt(1)});
    const int codePage = codepage::current();
    QElapsedTimer clock;
    clock.start();
    const MarkerSuggestion s = SuggestMarkers(sample, examples, codePage);
    const double ms = clock.nsecsElapsed() / 1e6;
    QJsonArray values;
    for (const auto& v : s.values)
        values.append(v ? QJsonValue(codepage::toUnicode(*v, codePage)) : QJsonValue());
    const QJsonObject out{{QStringLiteral("start"), codepage::toUnicode(s.start, codePage)},
                          {QStringLiteral("end"), codepage::toUnicode(s.end, codePage)},
                          {QStringLiteral("found"), s.found},
                          {QStringLiteral("ms"), ms},
                          {QStringLiteral("problem"), s.problem},
                          {QStringLiteral("note"), s.note},
                          {QStringLiteral("values"), values}};
    const QByteArray json = QJsonDocument(out).toJson(QJsonDocument::Compact);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "demosite")
        return dumpSite(QString::fromLocal8Bit(argv[2]));
    return suggest();
}
