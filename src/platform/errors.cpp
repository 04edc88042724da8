#include "platform/errors.h"

namespace pagrim {

Error::Error(QString message) : m_message(std::move(message)), m_what(m_message.toUtf8()) {}

} // namespace pagrim
