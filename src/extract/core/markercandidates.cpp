#include "extract/core/markercandidates.h"

#include "extract/core/pagetext.h"
#include "platform/codepage.h"
#include "platform/text.h"

#include <functional>

namespace pagrim::extract {

namespace {

// Markers grow at most this long; a place no such marker reaches first is
// left out.
constexpr qsizetype MaxMarker = 200;
// How far before and after a value tag edges are looked for.
constexpr qsizetype Reach = 4000;

// Counts the places a marker may grow to, up to what the breadth allows.
class GrowthPlaces
{
public:
    explicit GrowthPlaces(const Breadth& breadth) : m_left(breadth) {}
    // Whether a marker may reach to a place of that kind once more.
    bool take(int Breadth::*kind)
    {
        if (m_left.*kind <= 0)
            return false;
        --(m_left.*kind);
        return true;
    }
    bool spent() const { return m_left.tags <= 0 && m_left.blanks <= 0 && m_left.quotes <= 0; }

private:
    Breadth m_left;
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
std::vector<qsizetype> cutStarts(const QByteArray& page, const ShownPlace& p, int cutPoints)
{
    std::vector<qsizetype> points{p.begin};
    const qsizetype from = qMax(p.before, p.begin - Reach);
    for (qsizetype q = p.begin - 1; q >= from && int(points.size()) < cutPoints; --q)
        if (q == p.before || page[q] == '<' || (q > 0 && page[q - 1] == '>'))
            points.push_back(q);
    return points;
}

// Where a cut may end: after the value, or at a tag edge between it and the
// shown text that follows; the nearest first.
std::vector<qsizetype> cutEnds(const QByteArray& page, const ShownPlace& p, int cutPoints)
{
    std::vector<qsizetype> points{p.end};
    const qsizetype to = qMin(p.after, p.end + Reach);
    for (qsizetype q = p.end + 1; q <= to && int(points.size()) < cutPoints; ++q)
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
// shortest, and that one grown to begin at the "<" of the tags before, just
// after runs of white space and just after quoted attribute values.
void startMarkers(const QByteArray& page, qsizetype s, const CharStarts& starts,
                  const Breadth& breadth, std::vector<QByteArray>& out)
{
    qsizetype n = smallestHolding(qMin(s, MaxMarker), [&](qsizetype len) {
        return FindBytes(page, QByteArrayView(page).sliced(s - len, len)) == s - len;
    });
    if (n == 0)
        return;
    while (!starts(s - n))
        ++n;
    out.push_back(page.mid(s - n, n));
    GrowthPlaces places(breadth);
    for (qsizetype q = s - n - 1; q >= qMax<qsizetype>(0, s - MaxMarker) && !places.spent(); --q) {
        const char before = q > 0 ? page[q - 1] : '\0';
        const bool take = page[q] == '<' ? places.take(&Breadth::tags)
                          : isBlankByte(before) && !isBlankByte(page[q])
                              ? places.take(&Breadth::blanks)
                          : before == '"' ? places.take(&Breadth::quotes)
                                          : false;
        if (take && starts(q))
            out.push_back(page.mid(q, s - q));
    }
}

// End markers that begin at t and stand there first in the page: the
// shortest, and that one grown to end at the ">" of the tags after, just
// before runs of white space and just after quoted attribute values.
void endMarkers(const QByteArray& page, qsizetype t, const CharStarts& starts,
                const Breadth& breadth, std::vector<QByteArray>& out)
{
    qsizetype n = smallestHolding(qMin(page.size() - t, MaxMarker), [&](qsizetype len) {
        return FindBytes(page, QByteArrayView(page).sliced(t, len)) == t;
    });
    if (n == 0)
        return;
    while (!starts(t + n))
        ++n;
    out.push_back(page.mid(t, n));
    GrowthPlaces places(breadth);
    const qsizetype last = qMin(page.size(), t + MaxMarker);
    for (qsizetype q = t + n + 1; q <= last && !places.spent(); ++q) {
        const char end = page[q - 1];
        const char next = q < page.size() ? page[q] : '\0';
        const bool take = end == '>'                               ? places.take(&Breadth::tags)
                          : !isBlankByte(end) && isBlankByte(next) ? places.take(&Breadth::blanks)
                          : end == '"'                             ? places.take(&Breadth::quotes)
                                                                   : false;
        if (take && starts(q))
            out.push_back(page.mid(t, q - t));
    }
}

} // namespace

void AddCandidateMarkers(const QByteArray& page, const ShownPlace& place, int codePage,
                         const Breadth& breadth, std::vector<QByteArray>& starts,
                         std::vector<QByteArray>& ends)
{
    const CharStarts charStarts(page, codePage);
    for (const qsizetype s : cutStarts(page, place, breadth.cutPoints))
        startMarkers(page, s, charStarts, breadth, starts);
    for (const qsizetype t : cutEnds(page, place, breadth.cutPoints))
        endMarkers(page, t, charStarts, breadth, ends);
}

} // namespace pagrim::extract
