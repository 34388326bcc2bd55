// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock/form1.h"

#include "alarm/form2.h"
#include "clock/alarm_check.h"
#include "clock/missed_alarm.h"
#include "module1.h"
#include "platform/time_source.h"
#include "runtime/default_instance.h"
#include "runtime/time_text.h"
#include "wakeup/form3.h"
#include "wakeup/form4.h"

#include <QIcon>
#include <QPaintEvent>
#include <QPainter>

namespace zelmoro::clock {

using runtime::CommandButton;
using runtime::Label;

namespace {

const platform::FontSpec kButtonFont{"Bauhaus 93", 9};
const platform::FontSpec kSetButtonFont{"Bauhaus 93", 10.2};
const platform::FontSpec kDisplayFont{"Bauhaus 93", 19.8};

} // namespace

Form1::Form1()
    : Form(QStringLiteral("Zelmoro"), 4128, 6816, runtime::Taskbar::Entry),
      m_Command3(this, QStringLiteral("Wave Test"), kButtonFont,
                 QStringLiteral("音が鳴るかテストします")),
      m_Text1(QStringLiteral("belora.wav"), this),
      m_Command2(this, QStringLiteral("Alarm-SET"), kSetButtonFont,
                 QStringLiteral("アラームのなる時間をＳＥＴします")),
      m_Command1(this, QStringLiteral("CLOSE"), kButtonFont, QStringLiteral("終了します")),
      m_Label2(this, QString(), kDisplayFont, Label::Sizing::AutoSize),
      m_Label3(this, QStringLiteral("None"), kDisplayFont, Label::Sizing::AutoSize),
      m_Label4(this, QStringLiteral("Alarm"), kDisplayFont, Label::Sizing::AutoSize),
      m_Label1(this, QStringLiteral("Now"), kDisplayFont, Label::Sizing::AutoSize)
{
    place(m_Command3, 3120, 120, 972, 492);
    place(m_Text1, 0, 4680, 4875, 285);
    m_Text1.setVisible(false);
    place(m_Command2, 120, 5880, 3972, 852);
    m_Command2.setPicture(QIcon(QStringLiteral(":/icons/alarm-clock.svg")), QSize(50, 50));
    place(m_Command1, 3120, 720, 972, 492);
    placeAt(m_Label2, 1320, 120);
    placeAt(m_Label3, 1320, 720);
    placeAt(m_Label4, 120, 720);
    placeAt(m_Label1, 120, 120);
    setTabOrder({&m_Label1, &m_Label4, &m_Label3, &m_Label2, &m_Command1, &m_Command2, &m_Text1,
                 &m_Command3});

    // Timer1 keeps its 100 ms promise as a deadline rather than as a rate:
    // each tick sets the wait for the next one that could change anything, a
    // new alarm time or a clock that was set brings the next tick forward.
    m_Timer1.setTimerType(Qt::PreciseTimer);
    m_Timer1.setInterval(100);
    runtime::connectHandler(&m_Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(&Module1::AlarmTime(), &Module1::Alarm::changed, this, &Form1::tickSoon);
    connect(&m_clockStepWatch, &platform::ClockStepWatch::stepped, this, &Form1::tickSoon);
    runtime::connectHandler(&m_Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    runtime::connectHandler(&m_Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    runtime::connectHandler(&m_Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    m_Timer1.start();
}

void Form1::Form_Load()
{
    setShape(clock::faceBox(ScaleWidth()));
    DrawHands();
}

void Form1::DrawHands()
{
    const clock::Hands hands = clock::handsAt(ScaleWidth(), runtime::timeText(platform::now()));
    setLine(m_linHour, hands.hour);
    setLine(m_linMin, hands.minute);
    setLine(m_linSec, hands.second);
}

void Form1::Timer1_Timer()
{
    using platform::now;
    using runtime::timeText;
    // Each step reads the time afresh, as the window was designed: near a
    // second boundary the loop request and the notice may see different
    // seconds, and that is how this clock behaves.
    DrawHands();
    m_Label2.setCaption(timeText(now()));
    // An alarm second that the clock went forward over with no tick inside it
    // (the program held up, the machine asleep, the clock set forward, daylight
    // saving starting) still sounds on the first tick after it, if that comes
    // soon enough. A clock set back passes over nothing.
    const platform::ClockReading reading = platform::timeSource().read();
    const TickMoment moment{reading.wallMs, reading.monotonicMs, platform::localMs(reading.wallMs)};
    const Module1::Alarm &alarm = Module1::AlarmTime();
    const bool missed = m_previousTick && passedOver(*m_previousTick, moment, alarm.time());
    if (m_previousTick && passedOverTooLate(*m_previousTick, moment, alarm.time()))
        tellMissedAlarm(alarm.text());
    m_previousTick = moment;
    if (missed || alarm.text() == timeText(now()))
        Module1::playLoop(m_Text1.text());
    if (missed || alarm.text() == timeText(now()))
        runtime::form<wakeup::Form3>().Show();
    scheduleNextTick();
}

void Form1::scheduleNextTick()
{
    if (!m_Timer1.isActive())
        return;
    const std::int64_t local = platform::localMs(platform::timeSource().read().wallMs);
    m_Timer1.start(nextTickDelayMs(local, Module1::AlarmTime().time()));
}

void Form1::tickSoon()
{
    if (m_Timer1.isActive())
        m_Timer1.start(0);
}

void Form1::Command1_Click()
{
    runtime::form<wakeup::Form4>().Show();
}

void Form1::Command2_Click()
{
    runtime::form<alarm::Form2>().Show();
}

void Form1::Command3_Click()
{
    Module1::playOnce(m_Text1.text());
}

void Form1::setLine(LineControl &line, const clock::HandLine &to)
{
    if (line.X1 == to.x1 && line.Y1 == to.y1 && line.X2 == to.x2 && line.Y2 == to.y2)
        return;
    // Only where the hand was and where it now is needs painting again.
    const QRect before = pixelBox(line);
    line.X1 = to.x1;
    line.Y1 = to.y1;
    line.X2 = to.x2;
    line.Y2 = to.y2;
    ++m_faceRepaints;
    update(before.united(pixelBox(line)));
}

void Form1::setShape(const clock::FaceBox &box)
{
    m_shpShape = ShapeControl{box.left, box.top, box.width, box.height};
    ++m_faceRepaints;
    update();
}

void Form1::paintEvent(QPaintEvent *event)
{
    Form::paintEvent(event);
    const double scale = 1.0 / twipsPerPixel();
    const double onePixel = twipsPerPixel();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    // Each shape is drawn once for each repainted rectangle that it reaches,
    // clipped to that rectangle alone. The painter then never looks at the
    // shape's pixels elsewhere, however far apart the rectangles lie.
    const auto drawIn = [&](const QRect &part, const QColor &colour, const auto &draw) {
        painter.resetTransform();
        painter.setClipRect(part);
        painter.scale(scale, scale);
        painter.setPen(QPen(colour, onePixel));
        draw();
    };

    // Outline only, one pixel wide; back and fill are transparent. The hands'
    // moves mostly repaint the face's inside, which leaves the outline as it was.
    const QRectF face(m_shpShape.Left, m_shpShape.Top, m_shpShape.Width, m_shpShape.Height);
    const QRectF facePixels(face.topLeft() * scale, face.size() * scale);
    for (const QRect &part : event->region()) {
        if (clock::reachesOutline(facePixels, part))
            drawIn(part, palette().color(QPalette::WindowText), [&] { painter.drawEllipse(face); });
    }

    for (const LineControl *line : {&m_linSec, &m_linMin, &m_linHour}) {
        const QRect reach = pixelBox(*line);
        for (const QRect &part : event->region()) {
            if (part.intersects(reach)) {
                drawIn(part & reach, line->colour, [&] {
                    painter.drawLine(QPointF(line->X1, line->Y1), QPointF(line->X2, line->Y2));
                });
            }
        }
    }
}

QRect Form1::pixelBox(const LineControl &line) const
{
    const double scale = 1.0 / twipsPerPixel();
    return QRectF(QPointF(line.X1 * scale, line.Y1 * scale),
                  QPointF(line.X2 * scale, line.Y2 * scale))
        .normalized()
        .toAlignedRect()
        .adjusted(-2, -2, 2, 2);
}

} // namespace zelmoro::clock
