#pragma once

#include <QByteArray>
#include <QString>

// The text of a page fetched without the browser, read as the browser reads
// it. Encodings go by the names browsers give them ("UTF-8", "GBK",
// "gb18030", "Big5", "Shift_JIS", "EUC-KR", "windows-1252", "UTF-16LE",
// "UTF-16BE"); a label browsers know under another name ("gb2312",
// "iso-8859-1", "utf-16") stands for the encoding they read it as.
namespace pagrim::harvest {

// Whether a Content-Type header value names an HTML document: text/html or
// application/xhtml+xml, whatever its parameters and case.
bool isHtmlType(const QByteArray& contentType);

// The encoding a browser reads body in: a byte order mark first (UTF-8,
// UTF-16LE, UTF-16BE), then the charset of the Content-Type header, then the
// <meta charset> or <meta http-equiv="Content-Type"> that a browser finds
// before the body starts (or within the first 1,024 bytes), else UTF-8.
// Labels no encoding answers to are passed over.
QByteArray bodyEncoding(const QByteArray& body, const QByteArray& contentType);

// body as text in the encoding bodyEncoding finds, without its byte order
// mark; bytes that form no character become U+FFFD.
QString decodeBody(const QByteArray& body, const QByteArray& contentType);

} // namespace pagrim::harvest
