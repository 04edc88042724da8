#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace pagrim {

// The system's own error: carries the exact text the user is shown.
class Error : public std::exception
{
public:
    explicit Error(QString message);
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QByteArray m_what;
};

// An error reported by the database engine; the message is the engine's.
class DatabaseError : public Error
{
public:
    using Error::Error;
};

// A value that cannot be converted to the type of its field.
class ConversionError : public Error
{
public:
    using Error::Error;
};

} // namespace pagrim
