// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/random_source.h"

#include <QString>

#include <cstdint>

// The arithmetic of the wake-up quiz, apart from its window: drawing the two
// numbers of the sum and checking the answer the user typed.
namespace zelmoro::wakeup {

struct QuizPair {
    std::int16_t first;
    std::int16_t second;
};

// One number from lower to upper inclusive for a random value r in [0, 1):
// (upper - lower + 1) * r + lower in single precision, rounded down.
std::int16_t quizNumber(float r, std::int16_t lower, std::int16_t upper);

// The draw: reseeds the generator, then takes the first number and the second
// from its next two values, each from 10 to 99.
QuizPair drawQuiz(platform::RandomSource &random);

enum class Verdict { Right, Wrong };

// Checks an answer against the sum of the two numbers shown (their captions,
// as the draw wrote them). An answer is read as a number and rounded to the
// nearest whole number, ties to the even one; one that does not read as a
// number or lies outside the 16-bit range is simply wrong.
Verdict checkAnswer(const QString &firstCaption, const QString &secondCaption,
                    const QString &answer);

} // namespace zelmoro::wakeup
