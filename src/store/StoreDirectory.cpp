#include "StoreDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace StoreDirectory {

QString resolve(QString *error)
{
    QString directory = qEnvironmentVariable("HORALET_STORE_DIR");
    if (directory.isEmpty()) {
        const QString beside = QCoreApplication::applicationDirPath();
        if (!beside.isEmpty() && QFileInfo::exists(QDir(beside).filePath(QStringLiteral("portable"))))
            directory = beside;
    }
    if (directory.isEmpty()) {
        QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
            dataHome = QDir::homePath() + QStringLiteral("/.local/share");
        directory = dataHome + QStringLiteral("/horalet");
    }
    directory = QDir(directory).absolutePath();
    if (!QDir().mkpath(directory)) {
        if (error)
            *error = QStringLiteral("无法创建目录“%1”。").arg(directory);
        return {};
    }
    return directory;
}

QString filePath(const QString &directory, const QString &fileName)
{
    return directory + QLatin1Char('/') + fileName;
}

} // namespace StoreDirectory

struct InstanceLock::Impl {
    QLockFile file;
    explicit Impl(const QString &path) : file(path) {}
};

InstanceLock::InstanceLock(const QString &directory)
    : m_path(StoreDirectory::filePath(directory, QStringLiteral(".horalet.lock")))
{
}

InstanceLock::~InstanceLock() { delete m_impl; }

bool InstanceLock::acquire()
{
    if (!m_impl)
        m_impl = new Impl(m_path);
    // A lock left by a crashed process is taken over (QLockFile checks the holder's pid).
    m_impl->file.setStaleLockTime(0);
    return m_impl->file.tryLock(0);
}
