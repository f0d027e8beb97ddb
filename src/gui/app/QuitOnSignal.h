#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGINT (log-out, systemctl, Ctrl+C) end the event loop normally instead of
// killing the process, so the store lock, the player and the inhibitors are released.
class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject *parent = nullptr);
    ~QuitOnSignal() override;
    // A signal came while a nested loop ran (a message box at start-up), before the main one.
    bool requested() const { return m_requested; }

private:
    static void onSignal(int signal);
    void onNotified();

    QSocketNotifier *m_notifier = nullptr;
    bool m_requested = false;
};
