#pragma once

#include <QString>

// Outcome of a store write. A failed write carries a reason in the interface's language,
// so the caller can tell the user that nothing was saved.
struct StoreResult {
    bool ok = true;
    QString error;

    static StoreResult success() { return {}; }
    static StoreResult failure(const QString &reason) { return {false, reason}; }
    explicit operator bool() const { return ok; }
};
