#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace pagrim::harvest {

// An address as the embedded browser writes the href of a link: resolved
// against a base address and put in the canonical form of the Chromium that
// Qt WebEngine 6.4 is built on. Where that form departs from the URL
// Standard, this follows the browser: a host keeps the characters the
// standard refuses, escaped, and an address that does not look like an IP
// address stays a name; a path unescapes the escaped letters, digits and
// "-._~" and escapes "^" and "|"; an address of a scheme without hosts keeps
// its path as written (mailto has rules of its own); and an address that
// does not parse is written out as far as it went, and is not valid.
class WebAddress
{
public:
    WebAddress() = default;
    // An absolute address.
    explicit WebAddress(const QString& text);
    // text, resolved against base when it is relative. The query of an http,
    // https, ws, wss, ftp or file address is written in the document's
    // encoding (a name as bodyEncoding gives it; UTF-8 when empty or UTF-16);
    // a character the encoding cannot hold is written as "&#N;", escaped.
    WebAddress(const QString& text, const WebAddress& base, const QByteArray& encoding = {});

    // Whether the browser could navigate to it. A base that is not valid
    // resolves no relative reference.
    bool isValid() const { return m_valid; }
    // The address as the browser writes it; empty for a relative reference
    // its base could not resolve.
    QString toString() const;
    // The scheme, in lower case.
    const QString& scheme() const { return m_scheme; }

private:
    enum class Kind
    {
        None,     // a relative reference without a base
        Standard, // http, https, ws, wss, ftp
        File,
        Mailto,
        Opaque, // any other scheme: its text after the colon kept
    };

    bool hierarchical() const { return m_kind == Kind::Standard || m_kind == Kind::File; }
    void resolve(const WebAddress& base, const QString& reference, const QByteArray& encoding);
    void parse(const QString& scheme, QStringView rest, const QByteArray& encoding);
    void parseStandard(QStringView rest, const QByteArray& encoding);
    void parseFile(QStringView rest, const QByteArray& encoding);
    // The path, query and fragment that follow the authority.
    void parseTail(QStringView tail, const QByteArray& encoding, const QString& pathRoot = {});

    Kind m_kind = Kind::None;
    bool m_valid = false;
    QString m_scheme;
    QString m_authority; // "//" with user, host and port, as written out
    QString m_path;
    std::optional<QString> m_query;
    std::optional<QString> m_fragment;
};

} // namespace pagrim::harvest
