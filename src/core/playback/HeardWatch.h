#pragma once

#include "HeardRule.h"
#include "LevelWatch.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

// What the program tells about a task's sound: for the play log, the status line and the
// tray.
struct HeardNews {
    enum class Kind {
        OutputQuiet, // the output is muted or turned down at the start
        Heard,       // on time, or late (the status says how late)
        NotHeard,
        Unconfirmed, // the output could not be listened to
    };
    Kind kind = Kind::Heard;
    QString task;
    QString note;   // the play log's 说明
    QString status; // the status line's text
    bool warning = false;
};
Q_DECLARE_METATYPE(HeardNews)

// Listens to the output of each task from its first item on and decides, by HeardRule,
// whether it was heard. The level watch runs from the first item's hand-over until the
// task is heard or ends.
class HeardWatch : public QObject {
    Q_OBJECT
public:
    using SteadyMs = std::function<qint64()>;
    // Reasons others know of for a silent output ("无法读取音量", the server not reading the
    // pipe, …), asked when a task turns out silent.
    using ReasonSource = std::function<QStringList(const QString &task)>;

    // `now` is a steady clock; by default the process's monotonic clock.
    explicit HeardWatch(LevelWatch &levels, QObject *parent = nullptr, SteadyMs now = {});

    // A task starts `lagMs` after its start second. A task still watched is let go.
    void taskStarted(const QString &task, qint64 lagMs = 0);
    // An item is handed to the player; the first one of a task opens the window.
    void itemHandedOver();
    // The sink the task plays to (empty: the default output); a running watch follows it.
    void setSink(const QString &sink);
    void setPlayerPlaying(bool playing);
    // The task ended: by its end or its last item (`decide`: silence so far is told), or
    // stopped by hand (nothing is told).
    void taskEnded(bool decide);
    void addReasonSource(ReasonSource source) { m_reasonSources.push_back(std::move(source)); }
    // What lies past the sink says whether the sound goes on from there (the campus server
    // reading its pipe and its stream playing); while it does not, sound at the sink is not
    // heard and `reason` is told. The campus sink keeps time by the system clock, so its
    // level alone cannot show a pipe nobody reads.
    void setDownstream(bool delivering, const QString &reason = {});

    // Runs the window's end; the timer calls it, tests call it after moving their clock.
    void check();

    const HeardRule &rule() const { return m_rule; }
    // The last thing told, for whoever shows the state (the bus, the web page).
    const HeardNews &lastNews() const { return m_last; }
    const QString &task() const { return m_task; }
    bool watching() const { return m_watching; }

signals:
    void news(const HeardNews &news);

private:
    void onLevel(double peak);
    void onOutput(const OutputState &state);
    void onFailed(const QString &reason);
    void handle(const HeardRule::Event &event);
    void warnIfQuiet();
    void startLevels();
    void stopLevels();
    void tell(HeardNews::Kind kind, const QString &note, const QString &status, bool warning);

    LevelWatch &m_levels;
    SteadyMs m_now;
    HeardRule m_rule;
    QTimer m_deadline;
    QString m_task;
    QString m_sink;
    qint64 m_startedAt = 0; // the task's start second on the steady clock
    qint64 m_handedOverAt = 0;
    OutputState m_output;
    bool m_playing = false;
    bool m_watching = false;
    bool m_warned = false;
    bool m_failed = false;
    std::vector<ReasonSource> m_reasonSources;
    HeardNews m_last;
    QString m_downstream; // why the sound goes no further than the sink; empty when it does
};
