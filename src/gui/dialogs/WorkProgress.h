#pragma once

#include "OffThread.h"

#include <QDialog>
#include <QPointer>

#include <atomic>

class QLabel;
class QProgressBar;

// The window beside work that may take long (a copy to a slow stick, a large calendar
// file): what is being done, how far it has come, and a button that asks the work to stop
// at its next step. It shows only when the work outlasts a moment; while it shows, it is
// the one window that takes input.
class WorkProgress : public QDialog {
    Q_OBJECT
public:
    WorkProgress(const QString &title, QWidget *parent);

    // From the working thread: step `number` of `total` (0 total: unknown), and its text.
    // Returns false once the user has asked to stop.
    bool step(int number, int total, const QString &text);
    bool cancelRequested() const { return m_cancel; }
    // For tests: as the cancel button.
    void requestCancel();

    // The work off the GUI thread (see waitOffThread), this window shown after kShowAfterMs.
    template <class Work> auto run(Work &&work) {
        return waitOffThreadShowing(*this, kShowAfterMs, std::forward<Work>(work));
    }

    static constexpr int kShowAfterMs = 300;

signals:
    // Shown: for tests that answer the window.
    void appeared();

protected:
    void showEvent(QShowEvent *event) override;
    void reject() override;

private:
    void show(int number, int total, const QString &text);

    QLabel *m_text = nullptr;
    QProgressBar *m_bar = nullptr;
    std::atomic<bool> m_cancel = false;
};
