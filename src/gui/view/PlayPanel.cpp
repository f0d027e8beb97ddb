#include "PlayPanel.h"

#include "ViewLook.h"
#include "store/TaskStore.h"
#include "tasktable/DisplayText.h"
#include "ui_HoraletView.h"

PlayPanel::PlayPanel(Ui::CHoraletView &form, MediaPlayer &player, MasterVolume &volume,
                     const TaskStore &store, const Clock &clock, QObject *parent)
    : QObject(parent), m_form(form),
      m_playback(player, volume,
                 [this, store = &store](const QString &name) {
                     // An unreadable playlist plays nothing; the caption says why.
                     QString error;
                     TaskPlaylist items = store->ReadTaskPlaylist(name, &error);
                     if (!error.isEmpty())
                         ViewLook::showCaption(*m_form.caption1125, DisplayText::shown(error));
                     return items;
                 }),
      m_scheduler(clock, m_playback) {
    connect(&m_playback, &PlaylistDriver::listChanged, this, &PlayPanel::showList);
    connect(&m_playback, &PlaylistDriver::selectionChanged, this, &PlayPanel::showSelection);
    connect(
        &m_playback, &PlaylistDriver::currentLabelChanged, m_form.currentTask1043,
        [this](const QString &text) { m_form.currentTask1043->setText(DisplayText::shown(text)); });
    connect(&m_playback, &PlaylistDriver::captionChanged, m_form.caption1125,
            [caption = m_form.caption1125](const QString &text) {
                ViewLook::showCaption(*caption, DisplayText::shown(text));
            });
    connect(&m_playback, &PlaylistDriver::playModeChanged, this, &PlayPanel::showPlayMode);
    connect(m_form.stopButton1061, &QAbstractButton::clicked, &m_playback,
            &PlaylistDriver::StopPlayback);

    // The radios are the live play mode: a click acts from the next item on.
    const std::pair<QAbstractButton *, PlayMode> radios[] = {
        {m_form.sequentialRadio1112, PlayMode::Sequential},
        {m_form.loopRadio1071, PlayMode::Loop},
        {m_form.randomRadio1110, PlayMode::Random},
    };
    for (const auto &[radio, mode] : radios) {
        connect(radio, &QAbstractButton::toggled, this, [this, mode](bool on) {
            if (on)
                m_playback.setPlayMode(mode);
        });
    }
    if (m_form.loopRadio1071->isChecked())
        m_playback.setPlayMode(PlayMode::Loop);
    else if (m_form.randomRadio1110->isChecked())
        m_playback.setPlayMode(PlayMode::Random);
}

void PlayPanel::startScheduler(ScheduleDriver::ScheduleSource schedule,
                               ScheduleDriver::DayGateSource dayGate) {
    m_scheduler.setScheduleSource(std::move(schedule));
    m_scheduler.setDayGateSource(std::move(dayGate));
    m_scheduler.start();
}

void PlayPanel::showList(const QStringList &items) {
    QListWidget *list = m_form.playList1037;
    list->clear();
    // One line each: a long list lays out without measuring every item.
    list->setUniformItemSizes(true);
    list->addItems(DisplayText::shown(items));
}

void PlayPanel::showSelection(int row) {
    QListWidget *list = m_form.playList1037;
    if (row < 0)
        list->clearSelection();
    else
        list->setCurrentRow(row);
}

void PlayPanel::showPlayMode(PlayMode mode) {
    switch (mode) {
    case PlayMode::Sequential:
        m_form.sequentialRadio1112->setChecked(true);
        break;
    case PlayMode::Loop:
        m_form.loopRadio1071->setChecked(true);
        break;
    case PlayMode::Random:
        m_form.randomRadio1110->setChecked(true);
        break;
    }
}
