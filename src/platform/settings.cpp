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
} // namespace

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
