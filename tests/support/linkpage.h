#pragma once

#include <QByteArray>

namespace pagrim::test {

// A list page whose links are hard to read: a <base href="/list/sub/">,
// character references, Chinese paths and queries, "../" and backslashes, a
// control character, blanks around an href, upper-case tags, <area href>,
// javascript: and empty links, and links no reader may find (in a comment,
// script text, <noscript>, <template> and <svg>). Its bytes are in charset
// ("utf-8" or "gbk"), which its <meta> names.
QByteArray trickyLinkPage(const QByteArray& charset);

} // namespace pagrim::test
