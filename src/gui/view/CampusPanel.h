#pragma once

#include "campus/CampusConfig.h"
#include "campus/CampusControl.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class CCampusDlg;
class QWidget;

// The campus settings (广播分区.ini) as the form holds them: read at start-up, after every
// change of the tasks and of the store, and changed in the dialog "广播分区". Whoever routes
// the tasks follows campusChanged().
class CampusPanel : public QObject {
    Q_OBJECT
public:
    CampusPanel(const QString &storeDirectory, QWidget *dialogParent);

    const CampusConfig &config() const { return m_config; }
    // Reads the file anew (off the GUI thread); campusChanged() when it reads otherwise than
    // before, and after the first read.
    void load();

    // The control connection the dialog shows and tests; without one the dialog says so.
    void setControl(CampusControl *control) { m_control = control; }
    CampusControl *control() const { return m_control; }
    // What 试听 plays to a zone's rooms, and whether a task plays now (试听 waits for it).
    void setAudition(std::function<void(const QStringList &roomIds)> audition) {
        m_audition = std::move(audition);
    }
    void setIsPlaying(std::function<bool()> isPlaying) { m_isPlaying = std::move(isPlaying); }

    // The dialog "广播分区".
    void openDialog();
    using DialogRunner = std::function<void(CCampusDlg &)>;
    void setDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }
    using Notice = std::function<void(QWidget *, const QString &)>;
    void setNotice(Notice notice) { m_notice = std::move(notice); }

signals:
    // The settings, the zones or a task's zones changed.
    void campusChanged();

private:
    QString m_directory;
    QWidget *m_dialogParent;
    CampusConfig m_config;
    QPointer<CampusControl> m_control;
    std::function<void(const QStringList &)> m_audition;
    std::function<bool()> m_isPlaying;
    DialogRunner m_runDialog;
    Notice m_notice;
    bool m_loaded = false;
};
