#include "harvest/core/documentlinks.h"

#include "harvest/core/webaddress.h"
#include "platform/text.h"

#include <algorithm>
#include <gumbo.h>
#include <vector>

namespace pagrim::harvest {

namespace {

// Parse errors are not kept: each would hold a copy of the open elements,
// which for a page of many unclosed tags takes memory by the gigabyte.
const GumboOptions Options = [] {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    return options;
}();

// One parse of a document, owned.
class Parse
{
public:
    explicit Parse(const QByteArray& html)
        : m_output(gumbo_parse_with_options(&Options, html.constData(), size_t(html.size())))
    {
    }
    ~Parse() { gumbo_destroy_output(&Options, m_output); }
    Parse(const Parse&) = delete;
    Parse& operator=(const Parse&) = delete;

    // The HTML elements of the document in document order, <template>
    // contents left out: they are not part of the document.
    template <class Visit> void elements(Visit visit) const
    {
        std::vector<const GumboNode*> pending{m_output->document};
        while (!pending.empty()) {
            const GumboNode* node = pending.back();
            pending.pop_back();
            const GumboVector* children = nullptr;
            if (node->type == GUMBO_NODE_DOCUMENT) {
                children = &node->v.document.children;
            } else if (node->type == GUMBO_NODE_ELEMENT) {
                if (node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML)
                    visit(node->v.element);
                children = &node->v.element.children;
            } else {
                continue;
            }
            for (unsigned i = children->length; i-- > 0;)
                pending.push_back(static_cast<const GumboNode*>(children->data[i]));
        }
    }

private:
    GumboOutput* m_output;
};

const char* attribute(const GumboElement& element, const char* name)
{
    const GumboAttribute* a = gumbo_get_attribute(&element.attributes, name);
    return a ? a->value : nullptr;
}

// Where the text of a <noscript> that starts at from ends: at its end tag,
// "</noscript" followed by a blank, "/" or ">", else at the document's end.
qsizetype noscriptEnd(const QByteArray& lower, qsizetype from)
{
    static const QByteArray Close = "</noscript";
    for (qsizetype at = from; (at = lower.indexOf(Close, at)) >= 0; ++at) {
        const char after = at + Close.size() < lower.size() ? lower[at + Close.size()] : '\0';
        if (QByteArrayView("\t\n\f\r />").contains(after))
            return at;
    }
    return lower.size();
}

// The document with the content of each <noscript> taken out. The browser
// runs scripts, so it reads that content as text, where the parser, which
// runs none, would find elements.
QByteArray withoutNoscript(const QByteArray& html)
{
    std::vector<std::pair<qsizetype, qsizetype>> cuts;
    {
        const QByteArray lower = html.toLower();
        const Parse parse(html);
        parse.elements([&](const GumboElement& e) {
            if (e.tag != GUMBO_TAG_NOSCRIPT || !e.original_tag.data)
                return;
            const qsizetype content =
                e.original_tag.data - html.constData() + qsizetype(e.original_tag.length);
            cuts.emplace_back(content, noscriptEnd(lower, content));
        });
    }
    if (cuts.empty())
        return html;
    std::sort(cuts.begin(), cuts.end());
    QByteArray out;
    qsizetype kept = 0;
    for (const auto& [from, to] : cuts) {
        // A <noscript> tag inside the text of an earlier one is text too.
        if (from <= kept)
            continue;
        out += QByteArrayView(html).sliced(kept, from - kept);
        kept = to;
    }
    return out += QByteArrayView(html).sliced(kept);
}

// The parser reads control characters other than blanks as U+FFFD, where the
// browser keeps them. They pass it as characters of a private use plane,
// U+F0000 and up, and come back in the attribute values; not in a document
// that holds such characters itself.
constexpr char32_t Stand = 0xF0000;

bool isControl(char16_t c)
{
    return (c > 0 && c < 0x20 && c != '\t' && c != '\n' && c != '\f' && c != '\r') ||
           (c >= 0x7F && c <= 0x9F);
}

bool isStandIn(QStringView s, qsizetype i)
{
    return s[i] == QChar::highSurrogate(Stand) && i + 1 < s.size() &&
           s[i + 1] >= QChar::lowSurrogate(Stand) && s[i + 1] <= QChar::lowSurrogate(Stand + 0x9F);
}

QString withStandIns(const QString& html, bool& used)
{
    used = false;
    bool controls = false;
    for (qsizetype i = 0; i < html.size(); ++i) {
        if (isStandIn(html, i))
            return html;
        controls = controls || isControl(html[i].unicode());
    }
    if (!controls)
        return html;
    used = true;
    QString out;
    out.reserve(html.size() + 64);
    for (const QChar c : html) {
        if (isControl(c.unicode())) {
            const char32_t stand = Stand + c.unicode();
            out += QChar(QChar::highSurrogate(stand));
            out += QChar(QChar::lowSurrogate(stand));
        } else {
            out += c;
        }
    }
    return out;
}

QString withoutStandIns(const char* value, bool used)
{
    QString text = QString::fromUtf8(value);
    for (qsizetype i = 0; used && i < text.size(); ++i)
        if (isStandIn(text, i))
            text.replace(i, 2,
                         QChar(char16_t(QChar::surrogateToUcs4(text[i], text[i + 1]) - Stand)));
    return text;
}

} // namespace

QStringList documentLinks(const QString& html, const QUrl& pageAddress, const QByteArray& encoding)
{
    bool standIns = false;
    const Parse parse(withoutNoscript(withStandIns(html, standIns).toUtf8()));
    const char* baseHref = nullptr;
    std::vector<const char*> hrefs;
    parse.elements([&](const GumboElement& e) {
        if (e.tag == GUMBO_TAG_A || e.tag == GUMBO_TAG_AREA) {
            if (const char* href = attribute(e, "href"))
                hrefs.push_back(href);
        } else if (e.tag == GUMBO_TAG_BASE && !baseHref) {
            baseHref = attribute(e, "href");
        }
    });

    const WebAddress page(pageAddress.toString(QUrl::FullyEncoded));
    WebAddress base = page;
    const QString baseText = withoutStandIns(baseHref ? baseHref : "", standIns);
    if (!trimBlanks(baseText).isEmpty()) {
        // A data: or javascript: base is not taken.
        const WebAddress given(baseText, page, encoding);
        if (given.scheme() != QStringLiteral("data") &&
            given.scheme() != QStringLiteral("javascript"))
            base = given;
    }
    QStringList links;
    for (const char* href : hrefs) {
        const QString text = withoutStandIns(href, standIns);
        if (trimBlanks(text).isEmpty())
            continue;
        const WebAddress link(text, base, encoding);
        const QString address = link.toString();
        if (!address.isEmpty() && link.scheme() != QStringLiteral("javascript"))
            links.append(address);
    }
    return links;
}

} // namespace pagrim::harvest
