#pragma once

#include "MasterVolume.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Puts a master volume that may hang (a sound server that does not answer) on a thread of
// its own, so the slider, the label and the schedule never wait for it. One request runs
// at a time; sets coalesce, the latest value wins. Results come back as queued calls on
// the thread that owns this object.
class MasterVolumeWorker final : public QObject, public MasterVolume {
    Q_OBJECT
public:
    explicit MasterVolumeWorker(std::unique_ptr<MasterVolume> backend, QObject *parent = nullptr);
    // Waits for the request in hand (bounded by the backend's own time limit).
    ~MasterVolumeWorker() override;

    // Waits for the worker's answer without running the event loop.
    Reading GetMasterVolume() override;
    void SetMasterVolume(int value) override;
    // `done` runs once a set at least as recent as this one has finished: a later set
    // (the user moving the slider meanwhile) serves it too.
    void SetMasterVolumeThen(int value, QObject *context, std::function<void()> done) override;
    void GetMasterVolumeThen(QObject *context, std::function<void(Reading)> done) override;

    MasterVolume &backend() { return *m_backend; }

private:
    struct SetWaiter {
        quint64 serial;
        QPointer<QObject> context;
        std::function<void()> done;
    };
    using ReadReply = std::function<void(const Reading &)>; // runs on the worker thread

    void run();
    void requestRead(ReadReply reply);
    void setFinished(quint64 serial);

    std::unique_ptr<MasterVolume> m_backend;
    // Shared with the worker thread, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<int> m_pendingSet;
    quint64 m_pendingSerial = 0;
    std::deque<ReadReply> m_reads;
    bool m_quit = false;
    // GUI thread only.
    quint64 m_lastSerial = 0;
    QList<SetWaiter> m_setWaiters;

    std::thread m_thread; // last: starts once everything above exists
};
