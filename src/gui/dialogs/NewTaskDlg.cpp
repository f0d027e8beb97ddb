#include "NewTaskDlg.h"

#include "tasktable/TaskNames.h"
#include "ui_NewTaskDlg.h"

CNewTaskDlg::CNewTaskDlg(const QDateTime &now, QWidget *parent)
    : CTaskDlgBase(parent), m_ui(std::make_unique<Ui::CNewTaskDlg>()) {
    m_ui->setupUi(this);
    bindControls();
    showForm(TaskForms::newTaskForm(now));
    connect(m_ui->addUrlButton1080, &QPushButton::clicked, this, &CNewTaskDlg::AddNetworkAddress);
}

CNewTaskDlg::~CNewTaskDlg() = default;

void CNewTaskDlg::AddNetworkAddress() {
    // Taken as typed; the edit keeps its text for the next address.
    const QString address = m_ui->urlEdit1079->text();
    if (address.isEmpty())
        return;
    if (const QString problem = TaskNames::itemProblem(address); !problem.isEmpty()) {
        notify(problem);
        return;
    }
    appendItems({address});
}
