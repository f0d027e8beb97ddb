#pragma once

#include "TaskDlgBase.h"

#include <memory>

namespace Ui {
class CModifyTaskDlg;
}

// "修改定时播放任务": changes one stored task and writes its playlist under its (new) name.
class CModifyTaskDlg : public CTaskDlgBase {
    Q_OBJECT
public:
    // stored/items: the selected task and its playlist as read; now: for pickers whose
    // stored time cannot be shown.
    CModifyTaskDlg(const PlayTask &stored, const TaskPlaylist &items, const QDateTime &now,
                   QWidget *parent = nullptr);
    ~CModifyTaskDlg() override;

private:
    std::unique_ptr<Ui::CModifyTaskDlg> m_ui;
};
