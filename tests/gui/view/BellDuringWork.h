#pragma once

#include "scheduler/FakeClock.h"
#include "scheduler/ScheduleDriver.h"
#include "view/HoraletView.h"
#include "view/PlayPanel.h"

#include <QSemaphore>
#include <QTimer>

#include <atomic>

// A bell due while slow store work runs: the view's clock stands at 07:59:59 on 2026-12-08
// and reaches the bell's second, 08:00, only once `busy` is set by the work. Every start is
// counted; `started` is released when the bell starts.
struct BellDuringWork {
    BellDuringWork(const QString &store, const QString &bell)
        : clock(QDateTime(QDate(2026, 12, 8), QTime(7, 59, 59))), view(store) {
        view.setClock(&clock);
        view.OnInitialUpdate();
        QObject::connect(&view.playPanel()->scheduler(), &ScheduleDriver::taskStarting, &view,
                         [this, bell](const QDateTime &second, const PlayTask &task) {
                             starts << second;
                             if (task.Name == bell)
                                 started.release();
                         });
        QObject::connect(&clockHand, &QTimer::timeout, [this] {
            if (busy)
                clock.set(QDateTime(QDate(2026, 12, 8), QTime(8, 0, 0)).addMSecs(5));
        });
        clockHand.start(10);
    }

    FakeClock clock;
    CHoraletView view;
    QList<QDateTime> starts;
    QSemaphore started;
    std::atomic<bool> busy = false;
    QTimer clockHand;
};
