#include "support/linkpage.h"

#include "platform/codepage.h"

#include <QString>

namespace pagrim::test {

QByteArray trickyLinkPage(const QByteArray& charset)
{
    const QString page =
        QStringLiteral(
            "<!DOCTYPE html>\n<html><head><meta charset=\"%1\"><title>列表</title>\n"
            "<base href=\"/list/sub/\"></head><body>\n"
            "<!-- <a href=\"in-comment.htm\">comment</a> -->\n"
            "<script>var s = '<a href=\"in-script.htm\">x</a>';</script>\n"
            "<a href=\"news_1.htm\">1</a>\n"
            "<a href=\"../up.htm?a=1&amp;b=2\">up</a>\n"
            "<a href=\"/路径/页面.htm\">path</a>\n"
            "<a href=\"q.htm?kw=新闻&amp;p=&#x4e2d;&amp;e=😀#节\">query</a>\n"
            "<A HREF=\"UPPER.HTM\">upper</A>\n"
            "<a href=\"  spaced.htm\t \">blanks</a>\n"
            "<a href=\"javascript:void(0)\">js</a> <a href=\" JavaScript:go()\">js</a>\n"
            "<a href=\"\">empty</a> <a href=\"  \">blank</a> <a>none</a>\n"
            "<map name=\"m\"><area href=\"../../area.htm\" shape=\"rect\" coords=\"0,0,1,1\">"
            "</map>\n"
            "<a href=\"HTTP://Example.COM:80/A/./b/../c.htm#top\">absolute</a>\n"
            "<a href=\"//cdn.example.com/x.htm\">scheme-relative</a>\n"
            "<a href=\"a&#x4e2d;b&#20013;.htm\">references</a>\n"
            "<a href=\"\\news\\2.htm\">backslashes</a>\n"
            "<a href=\"del\x7F.htm\">a control character</a>\n"
            "<noscript><a href=\"in-noscript.htm\">n</a></noscript>\n"
            "<template><a href=\"in-template.htm\">t</a></template>\n"
            "<svg><a href=\"in-svg.htm\"><text>s</text></a></svg>\n"
            "<a href=\"news_1.htm\">again</a>\n"
            "</body></html>\n")
            .arg(QString::fromLatin1(charset));
    return charset == "gbk" ? codepage::fromUnicodeWithReferences(page, codepage::Gbk)
                            : page.toUtf8();
}

} // namespace pagrim::test
