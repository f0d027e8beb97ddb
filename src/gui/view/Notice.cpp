#include "Notice.h"

#include <QMessageBox>

QMessageBox *showNotice(QWidget *parent, const QString &text) {
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Horalet"), text,
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}
