#pragma once

#include <QObject>
#include <QString>

class SleepKeeper;

// Holds the sleep inhibitor exactly while at least one task is stored. A refusal is told
// once per run; the program carries on without it and asks again when tasks come back.
class SleepGuard : public QObject {
    Q_OBJECT
public:
    explicit SleepGuard(SleepKeeper &keeper, QObject *parent = nullptr);
    ~SleepGuard() override;

    // Acts only when tasks come or go (zero to some, some to zero), so it may be told the
    // count as often as wanted.
    void setTaskCount(qsizetype count);
    bool isHeld() const;

signals:
    // A text for the status line.
    void notice(const QString &text);

private:
    SleepKeeper &m_keeper;
    bool m_told = false;
    qsizetype m_count = -1;
};
