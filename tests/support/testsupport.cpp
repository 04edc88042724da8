#include "support/testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace pagrim::test {

void commitText(QWidget* w, const QString& text)
{
    QInputMethodEvent e;
    e.setCommitString(text);
    QApplication::sendEvent(w, &e);
}

bool savePicture(QWidget* w, const QString& name)
{
    const QString folder = pictureFolder();
    return folder.isEmpty() || w->grab().save(folder + name + QStringLiteral(".png"));
}

namespace {
// Parent of every pending watch, so that a test can end them all.
QObject* watches()
{
    static QPointer<QObject> parent;
    if (!parent)
        parent = new QObject(qApp);
    return parent;
}
} // namespace

void cancelModalWatches()
{
    const auto pending = watches()->children();
    for (QObject* w : pending)
        delete w;
}

std::shared_ptr<bool> onNextModal(const char* className, std::function<void(QWidget*)> action,
                                  int timeoutMs)
{
    auto done = std::make_shared<bool>(false);
    auto* timer = new QTimer(watches());
    const QByteArray name(className);
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        *waited += timer->interval();
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && modal->inherits(name.constData())) {
            timer->stop();
            timer->deleteLater();
            *done = true;
            QPointer<QWidget> handled(modal);
            action(modal);
            // A dialog the action failed to end must not hold the test forever.
            QTimer::singleShot(timeoutMs, watches(), [handled, name] {
                if (handled && handled->isVisible()) {
                    qWarning("onNextModal: %s still open; closing it", name.constData());
                    handled->close();
                }
            });
            return;
        }
        if (*waited >= timeoutMs) {
            timer->stop();
            timer->deleteLater();
            qWarning("onNextModal: no %s appeared", name.constData());
            // Do not leave the test hanging in someone's modal loop.
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
        }
    });
    timer->start(20);
    return done;
}

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

MessageRecorder::~MessageRecorder()
{
    ui::setMessageBoxHandler({});
}

BeepCounter::BeepCounter()
{
    auto count = m_count;
    ui::setBeepHandler([count] { ++*count; });
}

BeepCounter::~BeepCounter()
{
    ui::setBeepHandler({});
}

} // namespace pagrim::test
