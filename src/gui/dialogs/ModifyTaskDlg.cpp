#include "ModifyTaskDlg.h"

#include "ui_ModifyTaskDlg.h"

#include <QComboBox>

CModifyTaskDlg::CModifyTaskDlg(const PlayTask &stored, const TaskPlaylist &items,
                               const QDateTime &now, QWidget *parent)
    : CTaskDlgBase(parent), m_ui(std::make_unique<Ui::CModifyTaskDlg>()) {
    m_ui->setupUi(this);
    bindControls();
    m_stored = stored;
    m_volume->setCurrentIndex(TaskForms::ModifyTaskVolumeEntry);
    showForm(TaskForms::formFromTask(stored, now));
    setPlaylist(items);
}

CModifyTaskDlg::~CModifyTaskDlg() = default;
