#pragma once

#include <QString>

// Where every store file lives: $HORALET_STORE_DIR when set; else the executable's directory
// when a file named "portable" stands beside it; else $XDG_DATA_HOME/horalet. Never the build
// tree by accident, so a clean rebuild cannot delete anyone's tasks.
namespace StoreDirectory {
// Resolves and creates the directory. Empty with *error set when it cannot be created.
QString resolve(QString *error = nullptr);
// dir + "/" + fileName; the one path join of the store.
QString filePath(const QString &directory, const QString &fileName);
} // namespace StoreDirectory

// One running instance per store directory.
class InstanceLock {
public:
    explicit InstanceLock(const QString &directory);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // False when another live process holds the directory (or the lock cannot be made).
    bool acquire();
    QString lockPath() const { return m_path; }

private:
    QString m_path;
    struct Impl;
    Impl *m_impl = nullptr;
};
