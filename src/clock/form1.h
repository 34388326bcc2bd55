// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clock/alarm_check.h"
#include "clock/hands_geometry.h"
#include "platform/clock_step_watch.h"
#include "runtime/command_button.h"
#include "runtime/form.h"
#include "runtime/label.h"

#include <QColor>
#include <QLineEdit>
#include <QTimer>

#include <optional>

namespace zelmoro::clock {

// The main window: the analog clock, the time and alarm displays, and the
// buttons from which everything else is reached. Its tick drives the program.
class Form1 : public runtime::Form {
    Q_OBJECT

public:
    Form1();

    void Form_Load();
    void Timer1_Timer();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

    // Windowless controls: the face and the three hands, in twips.
    struct ShapeControl {
        float Left = 240, Top = 1320, Width = 2412, Height = 2532;
    };
    struct LineControl {
        float X1, Y1, X2, Y2;
        QColor colour;
    };

    // The alarm display, written by the alarm dialog's SET.
    runtime::Label &Label3() { return m_Label3; }

    // Test hooks: what the tests read and drive; nothing in the program uses them.
    const ShapeControl &shpShape() const { return m_shpShape; }
    const LineControl &linHour() const { return m_linHour; }
    // How often the face had to be repainted because a property changed.
    int faceRepaints() const { return m_faceRepaints; }
    runtime::Label &Label2() { return m_Label2; }
    runtime::CommandButton &Command2() { return m_Command2; }
    runtime::CommandButton &Command3() { return m_Command3; }
    QLineEdit &Text1() { return m_Text1; }
    // The tick is due when its outcome could first differ from the last one's
    // (see nextTickDelayMs); Timer1's interval is the wait for that tick. While
    // Timer1 is stopped nothing is scheduled.
    QTimer &Timer1() { return m_Timer1; }
    platform::ClockStepWatch &clockStepWatch() { return m_clockStepWatch; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void DrawHands();
    // The pixels a hand's stroke can touch.
    QRect pixelBox(const LineControl &line) const;
    void setLine(LineControl &line, const clock::HandLine &to);
    void setShape(const clock::FaceBox &box);
    void scheduleNextTick();
    void tickSoon();

    // Created in the layout's order; the later a windowless control, the higher it is drawn.
    runtime::CommandButton m_Command3;
    QLineEdit m_Text1;
    QTimer m_Timer1;
    runtime::CommandButton m_Command2;
    runtime::CommandButton m_Command1;
    ShapeControl m_shpShape;
    LineControl m_linSec{120, 1680, 1080, 2040, QColor(255, 0, 0)};
    LineControl m_linMin{120, 1440, 1080, 1800, QColor(255, 0, 0)};
    LineControl m_linHour{120, 1200, 1080, 1560, QColor(0, 0, 255)};
    runtime::Label m_Label2;
    runtime::Label m_Label3;
    runtime::Label m_Label4;
    runtime::Label m_Label1;
    int m_faceRepaints = 0;
    std::optional<clock::TickMoment> m_previousTick;
    platform::ClockStepWatch m_clockStepWatch;
};

} // namespace zelmoro::clock
