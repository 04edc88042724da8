#include "extract/core/markers.h"

#include "extract/core/pagetext.h"
#include "extract/core/shown.h"
#include "platform/codepage.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <tuple>

namespace pagrim::extract {

namespace {

// Markers grow at most this long; a place no such marker reaches first is
// left out.
constexpr qsizetype MaxMarker = 200;
// The points tried on each side of a value: its own edge and the tag edges
// next to it.
constexpr int CutPoints = 6;
// How far before and after a value tag edges are looked for.
constexpr qsizetype Reach = 4000;

// An example found in its page.
struct Placed
{
    size_t page = 0; // in the sample
    std::u32string expected;
    ShownPlace place;
};

// Whether a byte of a page starts a character, walked once for the page.
class CharStarts
{
public:
    CharStarts(const QByteArray& page, int codePage) : m_codePage(codePage), m_page(page)
    {
        if (codePage != codepage::Gbk)
            return;
        m_starts.assign(size_t(page.size()) + 1, false);
        for (qsizetype i = 0; i < page.size(); i += codepage::charLength(page, i, codePage))
            m_starts[size_t(i)] = true;
        m_starts.back() = true;
    }
    bool operator()(qsizetype pos) const
    {
        if (m_codePage == codepage::Gbk)
            return m_starts[size_t(pos)];
        return pos >= m_page.size() || (static_cast<unsigned char>(m_page[pos]) & 0xC0) != 0x80;
    }

private:
    int m_codePage;
    const QByteArray& m_page;
    std::vector<bool> m_starts;
};

// Where a cut may begin: at the value, or at a tag edge between it and the
// shown text ahead; the nearest first.
std::vector<qsizetype> cutStarts(const QByteArray& page, const ShownPlace& p)
{
    std::vector<qsizetype> points{p.begin};
    const qsizetype from = qMax(p.before, p.begin - Reach);
    for (qsizetype q = p.begin - 1; q >= from && int(points.size()) < CutPoints; --q)
        if (q == p.before || page[q] == '<' || (q > 0 && page[q - 1] == '>'))
            points.push_back(q);
    return points;
}

// Where a cut may end: after the value, or at a tag edge between it and the
// shown text that follows; the nearest first.
std::vector<qsizetype> cutEnds(const QByteArray& page, const ShownPlace& p)
{
    std::vector<qsizetype> points{p.end};
    const qsizetype to = qMin(p.after, p.end + Reach);
    for (qsizetype q = p.end + 1; q <= to && int(points.size()) < CutPoints; ++q)
        if (q == p.after || page[q - 1] == '>' || (q < page.size() && page[q] == '<'))
            points.push_back(q);
    return points;
}

// The smallest n in [1, most] for which first(n) holds, given that it holds
// for every n after the first that does; 0 when none does.
qsizetype smallestHolding(qsizetype most, const std::function<bool(qsizetype)>& first)
{
    if (most < 1 || !first(most))
        return 0;
    qsizetype lo = 1, hi = most;
    while (lo < hi) {
        const qsizetype mid = lo + (hi - lo) / 2;
        if (first(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

// Start markers that end at s and stand there first in the page: the
// shortest, and that one grown to begin at the "<" of each of the two tags
// before.
void startMarkers(const QByteArray& page, qsizetype s, const CharStarts& starts,
                  std::vector<QByteArray>& out)
{
    qsizetype n = smallestHolding(qMin(s, MaxMarker), [&](qsizetype len) {
        return FindBytes(page, QByteArrayView(page).sliced(s - len, len)) == s - len;
    });
    if (n == 0)
        return;
    while (!starts(s - n))
        ++n;
    out.push_back(page.mid(s - n, n));
    for (int k = 0; k < 2; ++k) {
        const qsizetype lt = page.lastIndexOf('<', s - n - 1);
        if (lt < 0 || s - lt > MaxMarker)
            break;
        n = s - lt;
        out.push_back(page.mid(lt, n));
    }
}

// End markers that begin at t and stand there first in the page: the
// shortest, and that one grown to end at each of the next two ">".
void endMarkers(const QByteArray& page, qsizetype t, const CharStarts& starts,
                std::vector<QByteArray>& out)
{
    qsizetype n = smallestHolding(qMin(page.size() - t, MaxMarker), [&](qsizetype len) {
        return FindBytes(page, QByteArrayView(page).sliced(t, len)) == t;
    });
    if (n == 0)
        return;
    while (!starts(t + n))
        ++n;
    out.push_back(page.mid(t, n));
    for (int k = 0; k < 2; ++k) {
        const qsizetype gt = page.indexOf('>', t + n);
        if (gt < 0 || gt + 1 - t > MaxMarker)
            break;
        n = gt + 1 - t;
        out.push_back(page.mid(t, n));
    }
}

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

// The cut of a pair of markers on a sample page, as CutBetweenMarkers gives
// it: [begin, end), or begin -1.
struct Span
{
    qsizetype begin = -1;
    qsizetype end = -1;
    qsizetype size() const { return end - begin; }
};

Span cutOf(FirstPlaces& starts, FirstPlaces& ends, size_t s, size_t e, size_t page)
{
    const qsizetype at = starts.at(s, page);
    if (at < 0)
        return {};
    const qsizetype valueStart = at + starts.marker(s).size();
    const qsizetype endAt = ends.at(e, page);
    return endAt > valueStart ? Span{valueStart, endAt} : Span{};
}

// How a pair of markers ranks; greater is better.
struct Rank
{
    int found = 0;
    int unlike = 0;
    int ownText = 0;
    int shape = 0;
    qsizetype length = 0;
    auto key() const { return std::make_tuple(found, -unlike, -ownText, shape, -length); }
};

// What the examples' values are like, for the values of the other pages.
struct ExampleLook
{
    qsizetype longest = 0;
    bool markup = false;
};

bool hasMarkup(QByteArrayView value)
{
    return std::memchr(value.data(), '<', size_t(value.size())) != nullptr;
}

// The text of an example as its page has it.
QByteArrayView ownText(const Placed& p, const std::vector<SamplePage>& sample)
{
    return QByteArrayView(sample[p.page].text).sliced(p.place.begin, p.place.end - p.place.begin);
}

ExampleLook lookOf(const std::vector<Placed>& placed, const std::vector<SamplePage>& sample)
{
    ExampleLook look;
    for (const Placed& p : placed) {
        const QByteArrayView own = ownText(p, sample);
        look.longest = qMax(look.longest, own.size());
        look.markup = look.markup || hasMarkup(own);
    }
    return look;
}

// Whether the pair's cut of every example's page shows the example.
bool cutsShowExamples(FirstPlaces& starts, FirstPlaces& ends, size_t s, size_t e,
                      const std::vector<Placed>& placed, const std::vector<SamplePage>& sample,
                      int codePage)
{
    return std::all_of(placed.begin(), placed.end(), [&](const Placed& p) {
        const Span span = cutOf(starts, ends, s, e, p.page);
        return span.begin >= 0 &&
               ShowsExactly(QByteArrayView(sample[p.page].text).sliced(span.begin, span.size()),
                            p.expected, codePage);
    });
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

Rank rankOf(FirstPlaces& starts, FirstPlaces& ends, size_t s, size_t e, const ExampleLook& look,
            const std::vector<Placed>& placed, const std::vector<SamplePage>& sample)
{
    Rank rank;
    // Lengths of the same order: a few times the longest example's, and some.
    const qsizetype longest = look.longest * 8 + 80;
    for (size_t page = 0; page < sample.size(); ++page) {
        const Span span = cutOf(starts, ends, s, e, page);
        if (span.begin < 0)
            continue;
        ++rank.found;
        if (span.size() > longest ||
            (!look.markup &&
             hasMarkup(QByteArrayView(sample[page].text).sliced(span.begin, span.size()))))
            ++rank.unlike;
    }
    const QByteArray& start = starts.marker(s);
    const QByteArray& end = ends.marker(e);
    rank.ownText =
        int(holdsExample(start, placed, sample)) + int(holdsExample(end, placed, sample));
    rank.shape = int(start.startsWith('<')) + int(end.endsWith('>'));
    rank.length = start.size() + end.size();
    return rank;
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

} // namespace

MarkerSuggestion SuggestMarkers(const std::vector<SamplePage>& sample,
                                const std::vector<MarkerExample>& examples, int codePage)
{
    MarkerSuggestion result;
    std::vector<Placed> placed;
    result.problem = placeExamples(sample, examples, codePage, placed);
    if (!result.problem.isEmpty())
        return result;

    std::vector<QByteArray> startList, endList;
    for (const Placed& p : placed) {
        const QByteArray& page = sample[p.page].text;
        const CharStarts starts(page, codePage);
        for (const qsizetype s : cutStarts(page, p.place))
            startMarkers(page, s, starts, startList);
        for (const qsizetype t : cutEnds(page, p.place))
            endMarkers(page, t, starts, endList);
    }
    sortUnique(startList);
    sortUnique(endList);
    FirstPlaces starts(sample, startList), ends(sample, endList);

    const ExampleLook look = lookOf(placed, sample);
    std::optional<Rank> best;
    size_t bestStart = 0, bestEnd = 0;
    for (size_t s = 0; s < starts.size(); ++s)
        for (size_t e = 0; e < ends.size(); ++e) {
            if (!cutsShowExamples(starts, ends, s, e, placed, sample, codePage))
                continue;
            const Rank rank = rankOf(starts, ends, s, e, look, placed, sample);
            if (!best || rank.key() > best->key()) {
                best = rank;
                bestStart = s;
                bestEnd = e;
            }
        }
    if (!best) {
        result.problem = QStringLiteral("找不到能切出示例值的起始标记和结束标记。");
        return result;
    }
    result.start = starts.marker(bestStart);
    result.end = ends.marker(bestEnd);
    for (const SamplePage& page : sample) {
        const Cut cut = CutBetweenMarkers(page.text, result.start, result.end);
        result.values.push_back(cut.found ? std::optional(cut.value.toByteArray()) : std::nullopt);
        result.found += cut.found ? 1 : 0;
    }
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
