#include "MasterVolumeWorker.h"

#include <QMetaObject>

#include <future>

MasterVolumeWorker::MasterVolumeWorker(std::unique_ptr<MasterVolume> backend, QObject *parent)
    : QObject(parent), m_backend(std::move(backend)), m_thread([this] { run(); }) {}

MasterVolumeWorker::~MasterVolumeWorker() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void MasterVolumeWorker::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_reads.empty() || m_pendingSet; });
        if (m_quit)
            return;
        if (!m_reads.empty()) {
            ReadReply reply = std::move(m_reads.front());
            m_reads.pop_front();
            lock.unlock();
            reply(m_backend->GetMasterVolume());
            lock.lock();
            continue;
        }
        const int value = *m_pendingSet;
        const quint64 serial = m_pendingSerial;
        m_pendingSet.reset();
        lock.unlock();
        m_backend->SetMasterVolume(value);
        QMetaObject::invokeMethod(
            this, [this, serial] { setFinished(serial); }, Qt::QueuedConnection);
        lock.lock();
    }
}

void MasterVolumeWorker::requestRead(ReadReply reply) {
    {
        const std::lock_guard lock(m_mutex);
        m_reads.push_back(std::move(reply));
    }
    m_wake.notify_one();
}

void MasterVolumeWorker::SetMasterVolume(int value) {
    SetMasterVolumeThen(value, nullptr, {});
}

void MasterVolumeWorker::SetMasterVolumeThen(int value, QObject *context,
                                             std::function<void()> done) {
    const quint64 serial = ++m_lastSerial;
    if (done)
        m_setWaiters.append({serial, context, std::move(done)});
    {
        const std::lock_guard lock(m_mutex);
        m_pendingSet = value;
        m_pendingSerial = serial;
    }
    m_wake.notify_one();
}

void MasterVolumeWorker::GetMasterVolumeThen(QObject *context, std::function<void(Reading)> done) {
    // This object outlives every reply it posts (its destructor waits for the thread), and
    // the context is checked on its own thread.
    requestRead([this, context = QPointer<QObject>(context),
                 done = std::move(done)](const Reading &reading) {
        QMetaObject::invokeMethod(
            this,
            [context, done, reading] {
                if (context && done)
                    done(reading);
            },
            Qt::QueuedConnection);
    });
}

MasterVolume::Reading MasterVolumeWorker::GetMasterVolume() {
    std::promise<Reading> promise;
    std::future<Reading> answer = promise.get_future();
    requestRead([&promise](const Reading &reading) { promise.set_value(reading); });
    return answer.get();
}

void MasterVolumeWorker::setFinished(quint64 serial) {
    // Waiters of this set and of every earlier one that it replaced.
    QList<SetWaiter> due;
    for (qsizetype i = 0; i < m_setWaiters.size();) {
        if (m_setWaiters[i].serial <= serial)
            due.append(m_setWaiters.takeAt(i));
        else
            ++i;
    }
    for (SetWaiter &waiter : due)
        if (waiter.context)
            waiter.done();
}
