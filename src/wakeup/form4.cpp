// SPDX-License-Identifier: GPL-3.0-or-later
#include "wakeup/form4.h"

#include "platform/random_source.h"
#include "runtime/conversions.h"
#include "runtime/default_instance.h"
#include "wakeup/form5.h"
#include "wakeup/form6.h"
#include "wakeup/quiz.h"

namespace zelmoro::wakeup {

namespace {

using Sizing = runtime::Label::Sizing;

} // namespace

Form4::Form4()
    : Form(QStringLiteral("本当に起きてるの??"), 2844, 1392, runtime::Taskbar::Entry),
      m_Text1(QStringLiteral("000"), this),
      m_Command2(this, QStringLiteral("CANCEL"), {"Bauhaus 93", 10.2}),
      m_Command1(this, QStringLiteral("OK"), {"Bauhaus 93", 10.2}),
      m_Label4(this, QStringLiteral("="), {"ＤＦPOP体", 13.8, true}, Sizing::AutoSize),
      m_Label3(this, QString(), {"Bauhaus 93", 13.8, true}, Sizing::AutoSize),
      m_Label2(this, QStringLiteral("+"), {"ＤＦＰPOP体", 13.8, true}, Sizing::AutoSize),
      m_Label1(this, QString(), {"Bauhaus 93", 13.8}, Sizing::AutoSize)
{
    // The answer box: at most three characters, typed or pasted. The input
    // method is asked for plain Latin entry where it listens; full-width
    // digits typed all the same are read as digits.
    m_Text1.setFont(platform::makeFont({"Bauhaus 93", 13.8}));
    m_Text1.setMaxLength(3);
    m_Text1.setAccessibleName(QStringLiteral("答え"));
    m_Text1.setInputMethodHints(Qt::ImhPreferLatin | Qt::ImhNoPredictiveText |
                                Qt::ImhNoAutoUppercase);
    place(m_Text1, 1920, 240, 732, 444);
    place(m_Command2, 1680, 840, 972, 372);
    place(m_Command1, 600, 840, 972, 372);
    placeAt(m_Label4, 1560, 240);
    placeAt(m_Label3, 1080, 240);
    placeAt(m_Label2, 720, 240);
    placeAt(m_Label1, 240, 240);
    setTabOrder({&m_Command1, &m_Command2, &m_Label1, &m_Label2, &m_Label3, &m_Label4, &m_Text1});

    runtime::connectHandler(&m_Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    runtime::connectHandler(&m_Command2, &QPushButton::clicked, this, &Form4::Command2_Click);
    runtime::connectHandler(&m_Timer1, &QTimer::timeout, this, &Form4::Timer1_Timer);

    // The redraw period starts when the window is loaded; hiding and showing
    // leave it alone. A precise timer keeps to the 30 seconds, where a coarse
    // one could stray by more than a second.
    m_Timer1.setTimerType(Qt::PreciseTimer);
    m_Timer1.setInterval(30000);
    m_Timer1.start();
}

void Form4::Form_Load()
{
    const QuizPair pair = drawQuiz(platform::randomSource());
    m_Label1.setCaption(runtime::decimalText(pair.first));
    m_Label3.setCaption(runtime::decimalText(pair.second));
}

void Form4::Timer1_Timer()
{
    Form_Load();
}

void Form4::Command1_Click()
{
    const Verdict verdict = checkAnswer(m_Label1.Caption(), m_Label3.Caption(), m_Text1.text());
    if (verdict == Verdict::Right) {
        runtime::form<Form4>().Hide();
        runtime::form<Form5>().Show();
    } else {
        // The quiz stays as it is, numbers and answer, for another try.
        runtime::form<Form6>().Show();
    }
}

void Form4::Command2_Click()
{
    runtime::form<Form4>().Hide();
}

} // namespace zelmoro::wakeup
