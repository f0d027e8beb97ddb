#include "StartupGuard.h"

#include "InstanceBeacon.h"
#include "store/ProfileStore.h"

#include <QMessageBox>

std::unique_ptr<StartupGuard> StartupGuard::acquire(bool *handedOver) {
    if (handedOver)
        *handedOver = false;
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
    switch (guard->lock->tryAcquire()) {
    case InstanceLock::Outcome::Acquired:
        break;
    case InstanceLock::Outcome::HeldByOther:
        if (InstanceBeacon::callRunning(directory)) {
            if (handedOver)
                *handedOver = true;
            return nullptr;
        }
        QMessageBox::warning(nullptr, QStringLiteral("Horalet"),
                             QStringLiteral("程序已经在运行了。\n数据目录：%1").arg(directory));
        return nullptr;
    case InstanceLock::Outcome::NotWritable:
        // No lock to tell a second start by: a program that answers on the directory is one.
        if (InstanceBeacon::callRunning(directory, 1000)) {
            if (handedOver)
                *handedOver = true;
            return nullptr;
        }
        guard->readOnlyReason = guard->lock->failure();
        StoreDirectory::markReadOnly(directory, guard->readOnlyReason);
        break;
    }
    ProfileStore::removeLeftoverTemporaries(directory);
    return guard;
}

void StartupGuard::tellReadOnly(QWidget *parent) const {
    if (readOnlyReason.isEmpty())
        return;
    auto *box = new QMessageBox(
        QMessageBox::Warning, QStringLiteral("Horalet"),
        readOnlyReason +
            QStringLiteral("\n\n程序以只读方式运行：定时播放照常进行，但任何更改都无法保存。"),
        QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
