#include "WorkProgress.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

WorkProgress::WorkProgress(const QString &title, QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("workProgress"));
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("progressText"));
    m_text->setWordWrap(true);
    m_text->setMinimumWidth(420);
    layout->addWidget(m_text);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 0);
    layout->addWidget(m_bar);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &WorkProgress::requestCancel);
    layout->addWidget(buttons);
}

bool WorkProgress::step(int number, int total, const QString &text) {
    // Queued to the window's thread; dropped if the window is gone by then.
    QMetaObject::invokeMethod(
        this, [this, number, total, text] { show(number, total, text); }, Qt::QueuedConnection);
    return !m_cancel;
}

void WorkProgress::requestCancel() {
    m_cancel = true;
    m_text->setText(QStringLiteral("正在停止……"));
    if (QPushButton *cancel = findChild<QPushButton *>(QStringLiteral("cancelButton")))
        cancel->setEnabled(false);
}

void WorkProgress::show(int number, int total, const QString &text) {
    if (m_cancel)
        return;
    m_bar->setRange(0, total);
    m_bar->setValue(std::min(number, total));
    m_text->setText(text);
}

void WorkProgress::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    emit appeared();
}

void WorkProgress::reject() {
    // Closing the window asks the work to stop; it goes when the work has ended.
    requestCancel();
}
