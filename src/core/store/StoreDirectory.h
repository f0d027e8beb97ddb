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

// A directory this process cannot write: every store write into it is refused with the
// reason, so a change is never half made. The schedule still reads it as usual.
void markReadOnly(const QString &directory, const QString &reason);
// The reason given for that directory (not its subdirectories), or an empty text.
QString readOnlyReason(const QString &directory);
// Why nothing can be written into the directory ("数据目录不可写：…"), found by trying;
// empty when a file can be created there.
QString probeWritable(const QString &directory);
} // namespace StoreDirectory

// One running instance per store directory.
class InstanceLock {
public:
    enum class Outcome {
        Acquired,
        HeldByOther, // a live process holds the directory: already running
        NotWritable, // the lock file cannot be made: the directory is read-only or full
    };

    explicit InstanceLock(const QString &directory);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    Outcome tryAcquire();
    bool acquire() { return tryAcquire() == Outcome::Acquired; }
    // After NotWritable: why, in the user's words ("数据目录不可写：…").
    const QString &failure() const { return m_failure; }
    QString lockPath() const { return m_path; }

private:
    QString m_directory;
    QString m_path;
    QString m_failure;
    struct Impl;
    Impl *m_impl = nullptr;
};
