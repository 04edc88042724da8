#include "platform/settings.h"

#include "platform/profile.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace pagrim {

QString Settings::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const
{
    return profile::readString(m_path, section, key, defaultValue);
}

void Settings::WriteString(const QString& section, const QString& key, const QString& value)
{
    profile::writeString(m_path, section, key, value);
}

int Settings::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    return profile::readInteger(m_path, section, key, defaultValue);
}

void Settings::WriteInteger(const QString& section, const QString& key, int value)
{
    profile::writeString(m_path, section, key, QString::number(value));
}

namespace {
const QString SysConfig = QStringLiteral("SysConfig");
const QString WorkPathKey = QStringLiteral("WorkPath");
const QString TestValueKey = QStringLiteral("TestValue");
const QString SeparatorKey = QStringLiteral("Separator");
const QString ParallelPagesKey = QStringLiteral("ParallelPages");
const QString HostDelayKey = QStringLiteral("HostDelay");
const QString PageTimeoutKey = QStringLiteral("PageTimeout");
} // namespace

int Settings::ReadInRange(const QString& key, Range range) const
{
    return qBound(range.least, ReadInteger(SysConfig, key, range.byDefault), range.most);
}

QString Settings::DefaultSeparator()
{
    return QStringLiteral("*");
}

QString Settings::WorkPath(const QString& defaultValue) const
{
    return ReadString(SysConfig, WorkPathKey, defaultValue);
}

void Settings::setWorkPath(const QString& value)
{
    WriteString(SysConfig, WorkPathKey, value);
}

int Settings::TestValue() const
{
    return ReadInteger(SysConfig, TestValueKey, DefaultTestValue);
}

void Settings::setTestValue(int value)
{
    WriteInteger(SysConfig, TestValueKey, value);
}

QString Settings::Separator() const
{
    return ReadString(SysConfig, SeparatorKey, DefaultSeparator());
}

void Settings::setSeparator(const QString& value)
{
    WriteString(SysConfig, SeparatorKey, value);
}

int Settings::ParallelPages() const
{
    return ReadInRange(ParallelPagesKey, ParallelPagesRange);
}

void Settings::setParallelPages(int value)
{
    WriteInteger(SysConfig, ParallelPagesKey, value);
}

int Settings::HostDelay() const
{
    return ReadInRange(HostDelayKey, HostDelayRange);
}

void Settings::setHostDelay(int value)
{
    WriteInteger(SysConfig, HostDelayKey, value);
}

int Settings::PageTimeout() const
{
    return ReadInRange(PageTimeoutKey, PageTimeoutRange);
}

bool Settings::PageTimeoutSet() const
{
    return !ReadString(SysConfig, PageTimeoutKey, QString()).isEmpty();
}

void Settings::setPageTimeout(int value)
{
    WriteInteger(SysConfig, PageTimeoutKey, value);
}

QString Settings::programPath()
{
    const QFileInfo program(QCoreApplication::applicationFilePath());
    const QString base =
        program.suffix().isEmpty() ? program.fileName() : program.completeBaseName();
    return program.absolutePath() + QLatin1Char('/') + base + QLatin1String(".ini");
}

QString Settings::programFolder()
{
    QString folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

} // namespace pagrim
