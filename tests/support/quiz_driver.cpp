#include "support/quiz_driver.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QTest>

namespace testing {

float randomFor(int n)
{
    return (static_cast<float>(n - 10) + 0.5f) / 90.0f;
}

void commitFromInputMethod(QWidget &box, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(&box, &event);
}

void typeAnswer(QLineEdit &box, const QString &text)
{
    QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&box, Qt::Key_Backspace);
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
            QTest::keyClick(&box, c.toLatin1());
        else
            commitFromInputMethod(box, QString(c));
    }
}

namespace {

QtMessageHandler previousHandler = nullptr;

void dropRaiseWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message == QLatin1String("This plugin does not support raise()"))
        return;
    previousHandler(type, context, message);
}

} // namespace

void quietRaiseWarnings()
{
    if (!previousHandler)
        previousHandler = qInstallMessageHandler(dropRaiseWarning);
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace testing
