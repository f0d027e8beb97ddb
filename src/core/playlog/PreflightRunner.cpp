#include "PreflightRunner.h"

#include <QThread>

PreflightRunner::PreflightRunner(const TaskStore &store, Preflight::Probe probe, QObject *parent)
    : QObject(parent), m_store(store), m_probe(std::move(probe)),
      m_cancel(std::make_shared<std::atomic_bool>(false)) {}

PreflightRunner::~PreflightRunner() {
    *m_cancel = true;
    if (m_worker) {
        m_worker->wait();
        delete m_worker;
    }
}

void PreflightRunner::run(const ScheduleTable &table, const QDateTime &now, const DayGate &gate) {
    const Request request{table, now, gate};
    if (m_worker)
        m_pending = request;
    else
        start(request);
}

void PreflightRunner::start(const Request &request) {
    auto result = std::make_shared<QList<Preflight::Verdict>>();
    QThread *worker = QThread::create([result, request, store = m_store, probe = m_probe,
                                       cancel = m_cancel, output = m_outputReader] {
        *result = Preflight::check(request.table, request.now, request.gate, store, probe,
                                   cancel.get(), output ? output() : QString());
    });
    m_worker = worker;
    connect(worker, &QThread::finished, this, [this, worker, result, now = request.now] {
        worker->deleteLater();
        m_worker = nullptr;
        if (*m_cancel)
            return;
        emit checked(*result, now);
        if (m_pending) {
            const Request next = *m_pending;
            m_pending.reset();
            start(next);
        }
    });
    worker->start(QThread::LowPriority);
}
