#pragma once

#include "Preflight.h"
#include "store/TaskStore.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <optional>

class QThread;

// Runs the check of what will play on a worker thread, one run at a time: a request made
// while one runs is kept (the latest only) and run right after, so no change goes unchecked.
class PreflightRunner : public QObject {
    Q_OBJECT
public:
    PreflightRunner(const TaskStore &store, Preflight::Probe probe, QObject *parent = nullptr);
    ~PreflightRunner() override;

    void run(const ScheduleTable &table, const QDateTime &now, const DayGate &gate);
    // Why the output would not be heard now (empty: it would), asked on the worker once per
    // check.
    using OutputReader = std::function<QString()>;
    void setOutputReader(OutputReader reader) { m_outputReader = std::move(reader); }
    bool isRunning() const { return m_worker != nullptr; }

signals:
    void checked(const QList<Preflight::Verdict> &verdicts, const QDateTime &now);

private:
    struct Request {
        ScheduleTable table;
        QDateTime now;
        DayGate gate;
    };
    void start(const Request &request);

    TaskStore m_store;
    Preflight::Probe m_probe;
    OutputReader m_outputReader;
    QThread *m_worker = nullptr;
    std::shared_ptr<std::atomic_bool> m_cancel;
    std::optional<Request> m_pending;
};
