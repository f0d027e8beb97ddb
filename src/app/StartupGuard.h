#pragma once

#include "store/StoreDirectory.h"

#include <QString>
#include <memory>

// Resolves the store directory and takes its instance lock before anything reads a file.
// On failure it has already told the user why, and the program must exit untouched.
struct StartupGuard {
    QString storeDirectory;
    std::unique_ptr<InstanceLock> lock;

    static std::unique_ptr<StartupGuard> acquire();
};
