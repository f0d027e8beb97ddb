#pragma once

#include "TaskDlgBase.h"

#include <memory>

namespace Ui {
class CNewTaskDlg;
}

// "新增定时播放任务": one new task, stored as the last one.
class CNewTaskDlg : public CTaskDlgBase {
    Q_OBJECT
public:
    // now: the moment the dialog opens, shown in all three pickers.
    CNewTaskDlg(const QDateTime &now, QWidget *parent = nullptr);
    ~CNewTaskDlg() override;

    void AddNetworkAddress();

private:
    std::unique_ptr<Ui::CNewTaskDlg> m_ui;
};
