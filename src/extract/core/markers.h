#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

// Start and end markers found from example values: what a user points at on a
// saved page, turned into markers that the extraction's own cut applies.
namespace pagrim::extract {

// A saved page of the sample: its number (HTML/<number>.Htm) and its page
// text (PageText of the file), in the program code page.
struct SamplePage
{
    int number = 0;
    QByteArray text;
};

// A value as a page shows it, on the sample page of that number; where the
// shown text stands more than once, occurrence says which (counted from 1).
struct MarkerExample
{
    int page = 0;
    QString shown;
    int occurrence = 1;
};

// Where an example stands in its page text: the bytes [begin, end) whose shown
// text is the example's, from its first character to its last.
struct Located
{
    qsizetype begin = -1;
    qsizetype end = -1;
};

// What a value of a page text shows: tags dropped, character references
// decoded, every run of white space one blank, trimmed.
QString ShownText(QByteArrayView value, int codePage);

// The occurrence of shown (compared as ShownText gives it) in pageText; none
// (begin -1) when it does not stand there that often.
Located LocateShown(QByteArrayView pageText, const QString& shown, int occurrence, int codePage);

// The markers proposed for the examples.
struct MarkerSuggestion
{
    // Empty when markers were found; otherwise why not, as the window and
    // the command show it.
    QString problem;
    QByteArray start;
    QByteArray end;
    // The cut of every sample page, in the sample's order; none where the
    // markers find nothing.
    std::vector<std::optional<QByteArray>> values;
    // The number of sample pages with a value.
    int found = 0;
    // Empty when the markers cut every example; otherwise on which examples'
    // pages they do not, as the window and the command show it. Such markers
    // are the best for the most examples any pair serves.
    QString note;
};

// The best markers for the examples over the sample: every example's page
// must be in the sample, and its cut must show the example's text.
MarkerSuggestion SuggestMarkers(const std::vector<SamplePage>& sample,
                                const std::vector<MarkerExample>& examples, int codePage);

// Up to count page numbers spread evenly over saved (ascending), always with
// the numbers of required among them; ascending.
std::vector<int> SpreadSample(const std::vector<int>& saved, int count,
                              const std::vector<int>& required);

} // namespace pagrim::extract
