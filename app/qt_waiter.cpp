#include "app/qt_waiter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <algorithm>

namespace korvan {

void QtWaiter::Wait(std::chrono::milliseconds duration, bool processMessages) {
    QElapsedTimer clock;
    clock.start();
    const qint64 total = duration.count();
    for (qint64 left = total; left > 0; left = total - clock.elapsed()) {
        if (!processMessages) {
            QThread::msleep(static_cast<unsigned long>(left));
            continue;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(left));
        // processEvents returns at once when nothing is queued: do not spin a core.
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 10)));
    }
}

}  // namespace korvan
