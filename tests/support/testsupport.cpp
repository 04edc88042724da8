#include "testsupport.h"

#include "schema.h"

#include <QDir>

namespace pagrim::test {

MessageRecorder::MessageRecorder()
{
    ui::setMessageBoxHandler([this](const ui::MessageRecord& r) {
        m_records.push_back(r);
        if (m_answers.empty())
            return r.defaultButton;
        const ui::Answer a = m_answers.front();
        m_answers.pop_front();
        return a;
    });
}

MessageRecorder::~MessageRecorder() { ui::setMessageBoxHandler({}); }

BeepCounter::BeepCounter()
{
    auto count = m_count;
    ui::setBeepHandler([count] { ++*count; });
}

BeepCounter::~BeepCounter() { ui::setBeepHandler({}); }

TempWorld::TempWorld() : m_previous(QDir::currentPath())
{
    store::createStore(storePath());
    QDir::setCurrent(m_dir.path());
}

TempWorld::~TempWorld() { QDir::setCurrent(m_previous); }

} // namespace pagrim::test
