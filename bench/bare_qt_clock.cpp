// SPDX-License-Identifier: GPL-3.0-or-later
// A yardstick for the idle benchmark: the least a Qt Widgets window can do to
// show a clock's time. It has one label, the size of the main window's time
// text, whose text is set at the start of each second; nothing else moves.
#include <QApplication>
#include <QLabel>
#include <QTime>
#include <QTimer>

int main(int argc, char **argv)
{
    qputenv("QT_XCB_NO_MITSHM", "1"); // as the clock itself runs
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare Qt clock"));
    window.resize(275, 454);
    QLabel label(&window);
    QFont font = label.font();
    font.setPointSizeF(19.8);
    label.setFont(font);
    label.move(88, 8);
    label.resize(120, 40);
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const QTime now = QTime::currentTime();
        label.setText(now.toString(QStringLiteral("H:mm:ss")));
        timer.start(1000 - now.msec());
    });
    timer.start(0);
    window.show();
    return app.exec();
}
