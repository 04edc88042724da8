#include "extract/core/markers.h"

#include "extract/core/markercandidates.h"
#include "extract/core/pagetext.h"
#include "extract/core/shown.h"
#include "platform/codepage.h"

#include <QStringList>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <tuple>

namespace pagrim::extract {

namespace {

constexpr Breadth Usual{6, 2, 2, 2};
// Tried when no pair of the usual candidates serves every example.
constexpr Breadth Wide{16, 5, 5, 4};

// An example found in its page.
struct Placed
{
    size_t page = 0; // in the sample
    std::u32string expected;
    ShownPlace place;
};

void sortUnique(std::vector<QByteArray>& markers)
{
    std::sort(markers.begin(), markers.end());
    markers.erase(std::unique(markers.begin(), markers.end()), markers.end());
}

// The first place of each marker in each sample page, searched when first
// asked for; -1 where it does not stand.
class FirstPlaces
{
public:
    FirstPlaces(const std::vector<SamplePage>& sample, const std::vector<QByteArray>& markers)
        : m_sample(sample), m_markers(markers),
          m_at(markers.size(), std::vector<qsizetype>(sample.size(), Unknown))
    {
    }
    qsizetype at(size_t marker, size_t page)
    {
        qsizetype& at = m_at[marker][page];
        if (at == Unknown)
            at = FindBytes(m_sample[page].text, m_markers[marker]);
        return at;
    }
    const QByteArray& marker(size_t i) const { return m_markers[i]; }
    size_t size() const { return m_markers.size(); }

private:
    static constexpr qsizetype Unknown = -2;
    const std::vector<SamplePage>& m_sample;
    const std::vector<QByteArray>& m_markers;
    std::vector<std::vector<qsizetype>> m_at;
};

// The cut of a pair of markers on a sample page.
CutSpan cutOf(FirstPlaces& starts, FirstPlaces& ends, size_t s, size_t e, size_t page)
{
    const qsizetype at = starts.at(s, page);
    if (at < 0)
        return {};
    return CutBetweenPlaces(at, starts.marker(s).size(), ends.at(e, page));
}

// How a pair of markers ranks among those that serve as many examples;
// greater is better. A value that finds nothing like the examples' counts
// less than one that does.
struct Rank
{
    int found = 0;
    int unlike = 0;
    int wrapping = 0;
    int ownText = 0;
    int shape = 0;
    qsizetype length = 0;
    auto key() const
    {
        return std::make_tuple(found - unlike, found, -wrapping, -ownText, shape, -length);
    }
};

// What a pair's cuts of the examples' pages are like: how many show their
// example, and of those the longest, the most tags, and the tags they take in
// around the examples' own text.
struct ExampleLook
{
    int served = 0;
    qsizetype longest = 0;
    qsizetype tags = 0;
    int wrapping = 0;
};

qsizetype tagCount(QByteArrayView value)
{
    return std::count(value.begin(), value.end(), '<');
}

// The text of an example as its page has it.
QByteArrayView ownText(const Placed& p, const std::vector<SamplePage>& sample)
{
    return QByteArrayView(sample[p.page].text).sliced(p.place.begin, p.place.end - p.place.begin);
}

// The pair's cuts of the examples' pages; stops early (served 0) once it
// cannot serve least examples.
ExampleLook lookOf(FirstPlaces& starts, FirstPlaces& ends, size_t s, size_t e,
                   const std::vector<Placed>& placed, const std::vector<SamplePage>& sample,
                   int codePage, int least)
{
    ExampleLook look;
    int left = int(placed.size());
    for (const Placed& p : placed) {
        if (look.served + left-- < least)
            return {};
        const CutSpan span = cutOf(starts, ends, s, e, p.page);
        if (span.begin < 0)
            continue;
        const QByteArrayView value =
            QByteArrayView(sample[p.page].text).sliced(span.begin, span.size());
        if (!ShowsExactly(value, p.expected, codePage))
            continue;
        const qsizetype tags = tagCount(value);
        ++look.served;
        look.longest = qMax(look.longest, span.size());
        look.tags = qMax(look.tags, tags);
        look.wrapping += int(tags - tagCount(ownText(p, sample)));
    }
    return look;
}

// Whether the marker holds the text of an example as its page has it.
bool holdsExample(const QByteArray& marker, const std::vector<Placed>& placed,
                  const std::vector<SamplePage>& sample)
{
    return std::any_of(placed.begin(), placed.end(), [&](const Placed& p) {
        const QByteArrayView own = ownText(p, sample);
        return own.size() > 1 && FindBytes(marker, own) >= 0;
    });
}

// What a value of another page may be to count as alike the examples: judged
// by the tightest cuts of the examples any candidate gives, so a pair that
// takes in much markup there cannot make such values look alike.
struct Alike
{
    qsizetype longest = 0;
    qsizetype tags = 0;
    // The fewest characters it shows: half the shortest example's.
    size_t shows = 1;
    int codePage = 0;
    bool operator()(QByteArrayView value) const
    {
        if (value.size() > longest || tagCount(value) > tags)
            return false;
        ShownWalker walker(value, codePage);
        ShownChar c;
        for (size_t n = 0; n < shows; ++n)
            if (!walker.next(c))
                return false;
        return true;
    }
};

Rank rankOf(FirstPlaces& starts, FirstPlaces& ends, size_t s, size_t e, const ExampleLook& look,
            const Alike& alike, const std::vector<Placed>& placed,
            const std::vector<SamplePage>& sample)
{
    Rank rank;
    for (size_t page = 0; page < sample.size(); ++page) {
        const CutSpan span = cutOf(starts, ends, s, e, page);
        if (span.begin < 0)
            continue;
        ++rank.found;
        if (!alike(QByteArrayView(sample[page].text).sliced(span.begin, span.size())))
            ++rank.unlike;
    }
    rank.wrapping = look.wrapping;
    const QByteArray& start = starts.marker(s);
    const QByteArray& end = ends.marker(e);
    rank.ownText =
        int(holdsExample(start, placed, sample)) + int(holdsExample(end, placed, sample));
    rank.shape = int(start.startsWith('<')) + int(end.endsWith('>'));
    rank.length = start.size() + end.size();
    return rank;
}

// A pair of candidate markers and its cuts of the examples' pages.
struct Candidate
{
    size_t start = 0;
    size_t end = 0;
    ExampleLook look;
};

// The best markers of the candidates a breadth gives, and how many examples
// they serve (0: none).
struct BestPair
{
    int served = 0;
    QByteArray start;
    QByteArray end;
};

// The pairs serving the most examples, at least one.
std::vector<Candidate> mostServing(FirstPlaces& starts, FirstPlaces& ends,
                                   const std::vector<Placed>& placed,
                                   const std::vector<SamplePage>& sample, int codePage)
{
    std::vector<Candidate> kept;
    int most = 1;
    for (size_t s = 0; s < starts.size(); ++s)
        for (size_t e = 0; e < ends.size(); ++e) {
            const ExampleLook look = lookOf(starts, ends, s, e, placed, sample, codePage, most);
            if (look.served < most)
                continue;
            if (look.served > most || kept.empty())
                kept.clear();
            most = look.served;
            kept.push_back({s, e, look});
        }
    return kept;
}

BestPair bestPair(const std::vector<SamplePage>& sample, const std::vector<Placed>& placed,
                  int codePage, const Breadth& breadth)
{
    std::vector<QByteArray> startList, endList;
    for (const Placed& p : placed)
        AddCandidateMarkers(sample[p.page].text, p.place, codePage, breadth, startList, endList);
    sortUnique(startList);
    sortUnique(endList);
    FirstPlaces starts(sample, startList), ends(sample, endList);
    const std::vector<Candidate> kept = mostServing(starts, ends, placed, sample, codePage);
    if (kept.empty())
        return {};

    Alike alike{kept[0].look.longest, kept[0].look.tags, std::u32string::npos, codePage};
    for (const Candidate& c : kept) {
        alike.longest = qMin(alike.longest, c.look.longest);
        alike.tags = qMin(alike.tags, c.look.tags);
    }
    // Lengths of the same order: a few times the tightest cut, and some; one
    // element more around the value than there; half the text or more.
    alike.longest = alike.longest * 8 + 80;
    alike.tags += 2;
    for (const Placed& p : placed)
        alike.shows = qMin(alike.shows, qMax<size_t>(1, p.expected.size() / 2));

    const Candidate* best = nullptr;
    Rank bestRank;
    for (const Candidate& c : kept) {
        const Rank rank = rankOf(starts, ends, c.start, c.end, c.look, alike, placed, sample);
        if (!best || rank.key() > bestRank.key()) {
            best = &c;
            bestRank = rank;
        }
    }
    return {best->look.served, starts.marker(best->start), ends.marker(best->end)};
}

// Finds every example in its page; the problem when one is not there.
QString placeExamples(const std::vector<SamplePage>& sample,
                      const std::vector<MarkerExample>& examples, int codePage,
                      std::vector<Placed>& placed)
{
    if (examples.empty())
        return QStringLiteral("请给出示例值。");
    for (const MarkerExample& example : examples) {
        const auto page = std::find_if(sample.begin(), sample.end(), [&](const SamplePage& p) {
            return p.number == example.page;
        });
        if (page == sample.end())
            return QStringLiteral("第 %1 页不在样本网页中。").arg(example.page);
        Placed p{size_t(page - sample.begin()), FoldedShown(example.shown), {}};
        if (p.expected.empty())
            return QStringLiteral("示例值是空的。");
        p.place = LocateFolded(page->text, p.expected, example.occurrence, codePage);
        if (p.place.begin < 0)
            return example.occurrence > 1 ? QStringLiteral("第 %1 页中“%2”没有第 %3 处。")
                                                .arg(example.page)
                                                .arg(example.shown.trimmed())
                                                .arg(example.occurrence)
                                          : QStringLiteral("第 %1 页中找不到“%2”。")
                                                .arg(example.page)
                                                .arg(example.shown.trimmed());
        placed.push_back(std::move(p));
    }
    return {};
}

// Which examples the markers do not cut, when no pair serves them all.
QString missedNote(const MarkerSuggestion& s, const std::vector<Placed>& placed,
                   const std::vector<SamplePage>& sample, int codePage)
{
    QStringList pages;
    for (const Placed& p : placed) {
        const std::optional<QByteArray>& value = s.values[p.page];
        if (!value || !ShowsExactly(*value, p.expected, codePage))
            pages << QString::number(sample[p.page].number);
    }
    return pages.isEmpty()
               ? QString()
               : QStringLiteral("没有能切出全部示例值的标记；这对标记在第 %1 页切不出示例值。")
                     .arg(pages.join(QStringLiteral("、")));
}

} // namespace

MarkerSuggestion SuggestMarkers(const std::vector<SamplePage>& sample,
                                const std::vector<MarkerExample>& examples, int codePage)
{
    MarkerSuggestion result;
    std::vector<Placed> placed;
    result.problem = placeExamples(sample, examples, codePage, placed);
    if (!result.problem.isEmpty())
        return result;

    BestPair best = bestPair(sample, placed, codePage, Usual);
    if (best.served < int(placed.size())) {
        BestPair wider = bestPair(sample, placed, codePage, Wide);
        if (wider.served > best.served)
            best = std::move(wider);
    }
    if (best.served == 0) {
        result.problem = QStringLiteral("找不到能切出示例值的起始标记和结束标记。");
        return result;
    }
    result.start = best.start;
    result.end = best.end;
    for (const SamplePage& page : sample) {
        const Cut cut = CutBetweenMarkers(page.text, result.start, result.end);
        result.values.push_back(cut.found ? std::optional(cut.value.toByteArray()) : std::nullopt);
        result.found += cut.found ? 1 : 0;
    }
    result.note = missedNote(result, placed, sample, codePage);
    return result;
}

std::vector<int> SpreadSample(const std::vector<int>& saved, int count,
                              const std::vector<int>& required)
{
    std::vector<int> chosen = required;
    std::vector<int> others;
    std::copy_if(saved.begin(), saved.end(), std::back_inserter(others), [&](int n) {
        return std::find(required.begin(), required.end(), n) == required.end();
    });
    const qsizetype room =
        qMin<qsizetype>(qsizetype(others.size()), count - qsizetype(required.size()));
    // Evenly over the others: the first, the last and the ones between.
    for (qsizetype i = 0; i < room; ++i)
        chosen.push_back(room == 1
                             ? others.front()
                             : others[size_t(i * (qsizetype(others.size()) - 1) / (room - 1))]);
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    return chosen;
}

} // namespace pagrim::extract
