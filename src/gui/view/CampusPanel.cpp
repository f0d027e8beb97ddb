#include "CampusPanel.h"

#include "Notice.h"
#include "campus/CampusControl.h"
#include "dialogs/CampusDlg.h"
#include "dialogs/OffThread.h"
#include "platform/CampusSink.h"

CampusPanel::CampusPanel(const QString &storeDirectory, QWidget *dialogParent)
    : QObject(dialogParent), m_directory(storeDirectory), m_dialogParent(dialogParent),
      m_config(storeDirectory), m_runDialog([](CCampusDlg &dialog) { dialog.exec(); }),
      m_notice([](QWidget *parent, const QString &text) { showNotice(parent, text); }) {}

void CampusPanel::load() {
    QString error;
    CampusConfig read(m_directory);
    waitOffThread([&] { read.load(&error); });
    const bool same = m_loaded && read.server() == m_config.server() &&
                      read.zones() == m_config.zones() && read.taskZones() == m_config.taskZones();
    m_config = std::move(read);
    m_loaded = true;
    if (!error.isEmpty())
        m_notice(m_dialogParent, QStringLiteral("无法读取广播分区设置(%1):%2\n任务将在本机播放。")
                                     .arg(CampusConfig::fileName(), error));
    if (!same)
        emit campusChanged();
}

void CampusPanel::openDialog() {
    if (!m_control) {
        m_notice(m_dialogParent, QStringLiteral("广播服务器的控制连接不可用，无法设置广播分区。"));
        return;
    }
    CCampusDlg dialog(m_config, *m_control, m_dialogParent);
    dialog.audition = m_audition;
    dialog.isPlaying = m_isPlaying;
    dialog.testSignal = &CampusSink::writeTestSignal;
    connect(&dialog, &CCampusDlg::campusChanged, this, &CampusPanel::campusChanged);
    m_runDialog(dialog);
}
