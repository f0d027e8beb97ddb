#pragma once

#include "store/StoreDirectory.h"

#include <QString>
#include <memory>

class QWidget;

// Resolves the store directory and takes its instance lock before anything reads a file.
// On failure it has already told the user why, and the program must exit untouched. A
// directory that cannot be written is no failure: the program runs read-only, so the bells
// still ring, and every change is refused with the reason.
struct StartupGuard {
    QString storeDirectory;
    std::unique_ptr<InstanceLock> lock;
    QString readOnlyReason; // set when running read-only ("数据目录不可写：…")

    // A program already running on the directory is asked to come forward; when it answers,
    // *handedOver is set and nothing is told.
    static std::unique_ptr<StartupGuard> acquire(bool *handedOver = nullptr);
    // Once the window is up: tells why changes cannot be saved, without waiting for an
    // answer, so the schedule runs where nobody is there to close the box.
    void tellReadOnly(QWidget *parent) const;
};
