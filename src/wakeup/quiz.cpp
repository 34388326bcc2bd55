// SPDX-License-Identifier: GPL-3.0-or-later
#include "wakeup/quiz.h"

#include "runtime/conversions.h"

#include <cmath>
#include <optional>

namespace zelmoro::wakeup {

std::int16_t quizNumber(float r, std::int16_t lower, std::int16_t upper)
{
    // Single precision step by step. For the quiz's range no r below 1 takes
    // 90 * r up to 90, so 99 is reached and never exceeded.
    const float width = static_cast<float>(upper - lower + 1);
    const float scaled = width * r;
    const float shifted = scaled + static_cast<float>(lower);
    return runtime::toInt16(static_cast<double>(std::floor(shifted)));
}

QuizPair drawQuiz(platform::RandomSource &random)
{
    const std::int16_t lower = 10;
    const std::int16_t upper = 99;
    random.reseed();
    const std::int16_t first = quizNumber(random.next(), lower, upper);
    const std::int16_t second = quizNumber(random.next(), lower, upper);
    return QuizPair{first, second};
}

Verdict checkAnswer(const QString &firstCaption, const QString &secondCaption,
                    const QString &answer)
{
    // The captions always hold two-digit numbers, so reading and adding them
    // cannot fail. Whatever the user typed can only be right or wrong.
    const std::int16_t first = runtime::textToInt16(firstCaption);
    const std::int16_t second = runtime::textToInt16(secondCaption);
    const std::optional<std::int16_t> typed = runtime::tryTextToInt16(answer);
    const std::int16_t sum = runtime::checkedAdd(first, second);
    return typed && *typed == sum ? Verdict::Right : Verdict::Wrong;
}

} // namespace zelmoro::wakeup
