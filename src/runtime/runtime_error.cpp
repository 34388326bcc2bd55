// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/runtime_error.h"

#include <QMessageBox>

namespace zelmoro::runtime {

namespace {

const char *messageOf(ErrorNumber number)
{
    switch (number) {
    case ErrorNumber::Overflow:
        return "オーバーフローしました。";
    case ErrorNumber::TypeMismatch:
        return "型が一致しません。";
    }
    return "";
}

void showMessageBox(const RuntimeError &error)
{
    QMessageBox::critical(nullptr, QStringLiteral("Zelmoro"), error.report());
}

ErrorReporter &reporterSlot()
{
    static ErrorReporter current = showMessageBox;
    return current;
}

} // namespace

void reportError(const RuntimeError &error)
{
    reporterSlot()(error);
}

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

void setErrorReporter(ErrorReporter newReporter)
{
    reporterSlot() = newReporter ? std::move(newReporter) : ErrorReporter(showMessageBox);
}

} // namespace zelmoro::runtime
