#include "platform/profile.h"

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/filewrite.h"

#include <QByteArrayList>
#include <QFile>
#include <QFileInfo>
#include <limits>

namespace pagrim::profile {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\x1a';
}

QByteArray trimmed(const QByteArray& bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes.at(begin)))
        ++begin;
    while (end > begin && isBlank(bytes.at(end - 1)))
        --end;
    return bytes.mid(begin, end - begin);
}

// The name of a "[name]" line (everything up to the last "]").
std::optional<QByteArray> sectionOf(const QByteArray& line)
{
    const QByteArray t = trimmed(line);
    if (!t.startsWith('['))
        return std::nullopt;
    const qsizetype close = t.lastIndexOf(']');
    if (close < 0)
        return std::nullopt;
    return t.mid(1, close - 1);
}

struct Entry
{
    QByteArray key;
    std::optional<QByteArray> value; // none on a line without "="
};

Entry entryOf(const QByteArray& line)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return {trimmed(line), std::nullopt};
    return {trimmed(line.left(eq)), trimmed(line.mid(eq + 1))};
}

bool sameName(const QByteArray& stored, const QString& wanted)
{
    return codepage::toUnicode(stored).compare(wanted.trimmed(), Qt::CaseInsensitive) == 0;
}

struct Document
{
    QByteArrayList lines; // without their line ends
    QByteArray lineEnd = "\r\n";
};

Document split(const QByteArray& bytes)
{
    Document doc;
    if (!bytes.isEmpty() && !bytes.contains("\r\n"))
        doc.lineEnd = "\n";
    if (bytes.isEmpty())
        return doc;
    doc.lines = bytes.split('\n');
    if (doc.lines.last().isEmpty())
        doc.lines.removeLast();
    for (QByteArray& line : doc.lines)
        if (line.endsWith('\r'))
            line.chop(1);
    return doc;
}

// Where a key stands: only the first section of the name counts, and in it
// the first line of the key.
struct Location
{
    qsizetype header = -1;
    qsizetype key = -1;
    qsizetype lastContent = -1; // last non-blank line of the section
};

Location locate(const QByteArrayList& lines, const QString& section, const QString& key)
{
    Location at;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const auto name = sectionOf(lines.at(i))) {
            if (at.header >= 0)
                break;
            if (sameName(*name, section))
                at.header = at.lastContent = i;
            continue;
        }
        if (at.header < 0 || trimmed(lines.at(i)).isEmpty())
            continue;
        at.lastContent = i;
        if (at.key < 0 && sameName(entryOf(lines.at(i)).key, key))
            at.key = i;
    }
    return at;
}

// At most MaxValueBytes bytes, never ending inside a character.
QByteArray capped(const QByteArray& value)
{
    if (value.size() <= MaxValueBytes)
        return value;
    qsizetype pos = 0;
    while (pos < value.size()) {
        const qsizetype n = codepage::charLength(value, pos);
        if (pos + n > MaxValueBytes)
            break;
        pos += n;
    }
    return value.left(pos);
}

QByteArray withoutQuotes(const QByteArray& value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

QByteArray oneLine(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return codepage::fromUnicode(t);
}

[[noreturn]] void refuse(const QString& path)
{
    throw Error(QStringLiteral("Unable to write to %1").arg(path));
}

// The current bytes of a file about to be rewritten; refuses a file that is
// read-only (no write permission for anyone, which holds even for root, as the
// read-only attribute does) or cannot be read back.
QByteArray contentsForRewrite(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    constexpr auto anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (!info.isFile() || !info.isWritable() || !(info.permissions() & anyWrite))
        refuse(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuse(path);
    return file.readAll();
}

} // namespace

QString readString(const QString& path, const QString& section, const QString& key,
                   const QString& defaultValue)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    return valueIn(file.readAll(), section, key, defaultValue);
}

QString valueIn(const QByteArray& contents, const QString& section, const QString& key,
                const QString& defaultValue)
{
    const Document doc = split(contents);
    const Location at = locate(doc.lines, section, key);
    if (at.key < 0)
        return defaultValue;
    const Entry entry = entryOf(doc.lines.at(at.key));
    if (!entry.value)
        return defaultValue;
    return codepage::toUnicode(capped(withoutQuotes(*entry.value)));
}

int readInteger(const QString& path, const QString& section, const QString& key, int defaultValue)
{
    return parseInteger(readString(path, section, key, QString())).value_or(defaultValue);
}

void writeString(const QString& path, const QString& section, const QString& key,
                 const QString& value)
{
    Document doc = split(contentsForRewrite(path));
    const Location at = locate(doc.lines, section, key);
    const QByteArray v = oneLine(value);
    if (at.key >= 0) {
        // The key keeps its spelling in the file.
        doc.lines[at.key] = entryOf(doc.lines.at(at.key)).key + '=' + v;
    } else {
        const QByteArray line = oneLine(key.trimmed()) + '=' + v;
        if (at.header >= 0) {
            doc.lines.insert(at.lastContent + 1, line);
        } else {
            doc.lines.append('[' + oneLine(section.trimmed()) + ']');
            doc.lines.append(line);
        }
    }
    QByteArray bytes;
    for (const QByteArray& line : std::as_const(doc.lines))
        bytes += line + doc.lineEnd;
    if (!writeFileWhole(path, bytes))
        refuse(path);
}

std::optional<int> parseInteger(const QString& text)
{
    const auto digit = [](QChar c, bool hex) {
        const char16_t u = c.unicode();
        return (u >= u'0' && u <= u'9') ||
               (hex && ((u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')));
    };
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    qsizetype first = hex ? 2 : 0;
    if (!hex && (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))))
        first = 1;
    if (first >= text.size())
        return std::nullopt;
    for (qsizetype i = first; i < text.size(); ++i)
        if (!digit(text.at(i), hex))
            return std::nullopt;
    bool ok = false;
    const qlonglong n = hex ? text.mid(2).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
    if (!ok || n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(n);
}

} // namespace pagrim::profile
