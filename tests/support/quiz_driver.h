#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QString>
#include <QWidget>

namespace testing {

// A random value that the quiz's draw, 90 * r + 10 rounded down, turns into
// the number n (10 to 99): the middle of n's share of [0, 1).
float randomFor(int n);

// Replaces what the answer box holds the way a user does: select everything,
// delete it, then type. Characters on the keyboard are typed with key clicks;
// the others (full-width digits, the ideographic space) arrive as a Japanese
// input method commits them.
void typeAnswer(QLineEdit &box, const QString &text);

// One commit of an input method into a text box.
void commitFromInputMethod(QWidget &box, const QString &text);

// Drops the offscreen platform's note that it cannot raise a window, which
// every Show of a window prints there; other messages pass on unchanged.
void quietRaiseWarnings();

// Runs the deletions that Unload leaves for later.
void flushDeletes();

// How many windows of one kind are on screen.
template <class F> int shownWindows()
{
    int n = 0;
    for (QWidget *window : QApplication::topLevelWidgets())
        n += qobject_cast<F *>(window) && window->isVisible() ? 1 : 0;
    return n;
}

} // namespace testing
