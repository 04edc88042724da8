#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace pagrim::harvest {

// The links of an HTML document as the browser lists them (document.links
// read for each link's href): every <a href> and <area href> in document
// order, read by an HTML5 parser as the browser's reads them, so none from a
// comment, script text, <noscript> (the browser runs scripts) or <template>.
// They are resolved against the document's first <base href>, itself resolved
// against pageAddress, the address the document came from (after redirects),
// and written as WebAddress writes them. A link with an empty href, one that
// does not resolve and a javascript: link are left out. encoding is the
// document's, as bodyEncoding gives it: the queries of addresses are written
// in it.
QStringList documentLinks(const QString& html, const QUrl& pageAddress,
                          const QByteArray& encoding = "UTF-8");

} // namespace pagrim::harvest
