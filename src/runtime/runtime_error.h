// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>
#include <stdexcept>

namespace zelmoro::runtime {

// Error numbers of the runtime, as shown in its error report.
enum class ErrorNumber { Overflow = 6, TypeMismatch = 13 };

class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(ErrorNumber number);
    ErrorNumber number() const { return m_number; }
    // The text of the error report, e.g. "実行時エラー '6':\n\nオーバーフローしました。".
    QString report() const;

private:
    ErrorNumber m_number;
};

[[noreturn]] void raiseOverflow();
[[noreturn]] void raiseTypeMismatch();

// Reports an error that escaped a handler, through the reporter in use.
void reportError(const RuntimeError &error);

// How an escaped error is reported; the default shows a message box. Tests put a
// recorder here instead of a modal box.
using ErrorReporter = std::function<void(const RuntimeError &)>;
void setErrorReporter(ErrorReporter reporter);

} // namespace zelmoro::runtime
