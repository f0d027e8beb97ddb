#include "StartupGuard.h"

#include "store/ProfileStore.h"

#include <QMessageBox>

std::unique_ptr<StartupGuard> StartupGuard::acquire()
{
    QString error;
    QString directory = StoreDirectory::resolve(&error);
    if (directory.isEmpty()) {
        QMessageBox::warning(nullptr, QStringLiteral("Horalet"),
                             QStringLiteral("无法使用数据目录：%1").arg(error));
        return nullptr;
    }
    auto guard = std::make_unique<StartupGuard>();
    guard->storeDirectory = directory;
    guard->lock = std::make_unique<InstanceLock>(directory);
    if (!guard->lock->acquire()) {
        QMessageBox::warning(nullptr, QStringLiteral("Horalet"),
                             QStringLiteral("程序已经在运行了。\n数据目录：%1").arg(directory));
        return nullptr;
    }
    ProfileStore::removeLeftoverTemporaries(directory);
    return guard;
}
