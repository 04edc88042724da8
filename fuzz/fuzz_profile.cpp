// The profile reader on any file contents: the first line names the section and
// the key ("section/key"), the rest is the file.
#include "platform/codepage.h"
#include "platform/profile.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pagrim::codepage::setCurrentForTesting(pagrim::codepage::Gbk);
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nl = input.indexOf('\n');
    const QByteArray head = nl < 0 ? QByteArray() : input.left(nl);
    const QByteArray contents = nl < 0 ? input : input.mid(nl + 1);
    const qsizetype slash = head.indexOf('/');
    const QString section = QString::fromLatin1(slash < 0 ? head : head.left(slash));
    const QString key =
        QString::fromLatin1(slash < 0 ? QByteArray("WorkPath") : head.mid(slash + 1));
    const QString value = pagrim::profile::valueIn(contents, section, key, QString());
    // A value is never longer than the read limit.
    if (pagrim::codepage::fromUnicode(value).size() > pagrim::profile::MaxValueBytes + 1)
        __builtin_trap();
    (void)pagrim::profile::parseInteger(value);
    return 0;
}
