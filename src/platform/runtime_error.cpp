#include "platform/runtime_error.h"

#include "platform/default_instance.h"

#include <QMessageBox>

namespace platform {

namespace {

const char *messageOf(ErrorNumber number)
{
    switch (number) {
    case ErrorNumber::Overflow:
        return "オーバーフローしました。";
    case ErrorNumber::TypeMismatch:
        return "型が一致しません。";
    case ErrorNumber::InvalidProcedureCall:
        return "プロシージャの呼び出し、または引数が不正です。";
    }
    return "";
}

void showMessageBox(const RuntimeError &error)
{
    QMessageBox::critical(nullptr, QStringLiteral("Zelmoro"), error.report());
}

ErrorReporter &reporter()
{
    static ErrorReporter current = showMessageBox;
    return current;
}

} // namespace

RuntimeError::RuntimeError(ErrorNumber number)
    : std::runtime_error(messageOf(number)), m_number(number)
{
}

QString RuntimeError::report() const
{
    return QStringLiteral("実行時エラー '%1':\n\n%2")
        .arg(static_cast<int>(m_number))
        .arg(QString::fromUtf8(messageOf(m_number)));
}

void raiseOverflow()
{
    throw RuntimeError(ErrorNumber::Overflow);
}

void raiseTypeMismatch()
{
    throw RuntimeError(ErrorNumber::TypeMismatch);
}

void runHandler(const std::function<void()> &handler)
{
    if (hasEnded())
        return;
    try {
        handler();
    } catch (const RuntimeError &error) {
        reporter()(error);
        endAfterError();
    }
}

void setErrorReporter(ErrorReporter newReporter)
{
    reporter() = newReporter ? std::move(newReporter) : ErrorReporter(showMessageBox);
}

} // namespace platform
