// The longest event of the GUI thread while the whole window loads worst-case data, shows,
// repaints, scrolls, resizes and reloads: a 10 MB task name among 1,000 tasks and 100,000
// holidays. A figure, not a test: events beyond 50 ms are listed, and the exit code is 0.
//
//   QT_QPA_PLATFORM=offscreen HORALET_MPV_AO=null build/bench/horalet_gui_event_latency
#include "app/MainFrame.h"
#include "store/HolidayList.h"
#include "store/ProfileStore.h"
#include "store/TaskStore.h"
#include "view/HoraletView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMetaEnum>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Event {
    qint64 ns;
    QString receiver;
    int type;
};

// Times each event the loop delivers (the outermost notify: events sent from within
// another belong to it).
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override {
        if (!measuring)
            return QApplication::notify(receiver, event);
        const bool outer = m_depth++ == 0;
        QElapsedTimer clock;
        if (outer)
            clock.start();
        const int type = event->type();
        const QString name = outer ? QString::fromLatin1(receiver->metaObject()->className()) +
                                         u' ' + receiver->objectName()
                                   : QString();
        const bool result = QApplication::notify(receiver, event);
        --m_depth;
        if (outer)
            events.push_back({clock.nsecsElapsed(), name, type});
        return result;
    }
    bool measuring = false;
    std::vector<Event> events;

private:
    int m_depth = 0;
};

QString typeName(int type) {
    const QMetaEnum e = QMetaEnum::fromType<QEvent::Type>();
    const char *key = e.valueToKey(type);
    return key ? QString::fromLatin1(key) : QString::number(type);
}

void fillStore(const QString &dir) {
    QList<PlayTask> rows;
    for (int i = 0; i < 1000; ++i)
        rows << PlayTask{i == 0 ? QString(10 * 1024 * 1024, u'长')
                                : QStringLiteral("任务%1").arg(i),
                         QStringLiteral("%1:%2:00")
                             .arg(6 + i / 60 % 18, 2, 10, QLatin1Char('0'))
                             .arg(i % 60, 2, 10, QLatin1Char('0')),
                         QStringLiteral("23:59:00"),
                         QStringLiteral("30000"),
                         QStringLiteral("每天"),
                         QStringLiteral("顺序播放"),
                         i == 1 ? QString(10 * 1024 * 1024, u'注') : QString()};
    if (!TaskStore(dir).RewriteTaskStore(rows))
        qFatal("cannot write song.ini");
    QByteArray dates = "[Holiday]\r\n";
    for (int i = 0; i < 100000; ++i)
        dates += "Date" + QByteArray::number(i) + '=' +
                 QDate(1900, 1, 1).addDays(i).toString(Qt::ISODate).toLatin1() + "\r\n";
    dates += "[The number of date]\r\nquantity=100000\r\n";
    if (!ProfileStore::writeFileAtomically(dir + QStringLiteral("/date.ini"), dates))
        qFatal("cannot write date.ini");
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char *argv[]) {
    TimedApplication app(argc, argv);
    QTemporaryDir dir;
    fillStore(dir.path());
    qputenv("HORALET_STORE_DIR", dir.path().toLocal8Bit());

    QElapsedTimer clock;
    clock.start();
    CMainFrame frame(dir.path());
    frame.view()->OnInitialUpdate();
    const qint64 startUp = clock.elapsed();

    app.measuring = true;
    clock.restart();
    frame.show();
    runFor(1500);
    auto *table = frame.findChild<QTableView *>(QStringLiteral("taskTable1001"));
    auto *holidays = frame.findChild<QListWidget *>(QStringLiteral("holidayList1081"));
    // The store operations behind a change the user confirms (the view's own refresh comes
    // on top); each runs twice, the first change of a run also checking for a copy to keep.
    const auto addTask = [&] {
        TaskStore(dir.path())
            .AddTask({QStringLiteral("新任务"), QStringLiteral("07:00:00"),
                      QStringLiteral("07:10:00"), QStringLiteral("30000"), QStringLiteral("每天"),
                      QStringLiteral("顺序播放"), QString()},
                     {QStringLiteral("/tmp/a.mp3")});
    };
    const auto addHoliday = [&] {
        HolidayList list(dir.path());
        list.load();
        list.add(QStringLiteral("2300-01-01"));
    };
    // Each as an event of its own, as a user's scroll, resize or reload would come.
    const std::vector<std::pair<const char *, std::function<void()>>> steps = {
        {"scroll the table to its end",
         [&] { table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum()); }},
        {"scroll the table back", [&] { table->verticalScrollBar()->setValue(0); }},
        {"select the long-named row", [&] { table->selectRow(0); }},
        {"select the long-noted row", [&] { table->selectRow(1); }},
        {"scroll the table sideways",
         [&] { table->horizontalScrollBar()->setValue(table->horizontalScrollBar()->maximum()); }},
        {"scroll the holidays to their end", [&] { holidays->scrollToBottom(); }},
        {"select a holiday", [&] { holidays->setCurrentRow(50000); }},
        {"enlarge the window", [&] { frame.resize(1280, 1000); }},
        {"shrink the window", [&] { frame.resize(900, 765); }},
        {"reload the store", [&] { frame.view()->reloadFromStore(); }},
        {"store: add one task", addTask},
        {"store: add one holiday", addHoliday},
        {"store: add one task again", addTask},
        {"store: add one holiday again", addHoliday},
    };
    std::vector<std::pair<const char *, qint64>> stepTimes;
    for (const auto &[name, step] : steps) {
        QTimer::singleShot(0, &frame, [&, name = name, step = step] {
            QElapsedTimer t;
            t.start();
            step();
            stepTimes.emplace_back(name, t.nsecsElapsed());
        });
        runFor(300);
    }
    runFor(2000); // schedule passes and the clock's repaints
    app.measuring = false;
    const qint64 measured = clock.elapsed();

    std::vector<Event> events = std::move(app.events);
    std::sort(events.begin(), events.end(),
              [](const Event &a, const Event &b) { return a.ns > b.ns; });
    const auto over = std::count_if(events.begin(), events.end(),
                                    [](const Event &e) { return e.ns > 50'000'000; });
    std::printf("start-up (before the event loop): %lld ms\n", static_cast<long long>(startUp));
    std::printf("events measured: %zu over %lld ms; longer than 50 ms: %ld\n", events.size(),
                static_cast<long long>(measured), static_cast<long>(over));
    std::printf("longest events:\n");
    for (size_t i = 0; i < std::min<size_t>(8, events.size()); ++i)
        std::printf("  %8.1f ms  %-24s %s\n", events[i].ns / 1e6,
                    qPrintable(typeName(events[i].type)), qPrintable(events[i].receiver));
    std::printf("each step as one event:\n");
    for (const auto &[name, ns] : stepTimes)
        std::printf("  %8.1f ms  %s\n", ns / 1e6, name);
    return 0;
}
