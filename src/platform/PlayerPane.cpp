#include "PlayerPane.h"

#include "MpvPlayer.h"
#include "MpvVideoSurface.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The seek bar counts tenths of a second.
constexpr double kTicksPerSecond = 10.0;

QString clockText(double seconds, bool withHours) {
    const qint64 whole = seconds > 0 && std::isfinite(seconds) ? qint64(seconds) : 0;
    const QLatin1Char zero('0');
    const QString minSec = QStringLiteral("%1:%2")
                               .arg(withHours ? (whole / 60) % 60 : whole / 60, 2, 10, zero)
                               .arg(whole % 60, 2, 10, zero);
    return withHours ? QStringLiteral("%1:%2").arg(whole / 3600).arg(minSec) : minSec;
}

} // namespace

PlayerPane::PlayerPane(MpvPlayer *player, QWidget *parent) : QWidget(parent), m_player(player) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    if (m_player->rendersVideo() && m_player->isValid() && MpvVideoSurface::openGLAvailable()) {
        m_surface = new MpvVideoSurface(m_player);
        m_video = QWidget::createWindowContainer(m_surface, this); // takes the window
    } else {
        m_video = new QWidget(this);
    }
    // Black until the surface's first frame, or for good without one.
    m_video->setAutoFillBackground(true);
    QPalette black = m_video->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_video->setPalette(black);
    m_video->setObjectName(QStringLiteral("playerVideo"));
    m_video->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(m_video, 1);

    auto *controls = new QHBoxLayout;
    controls->setSpacing(2);
    m_playPause = new QToolButton(this);
    m_playPause->setObjectName(QStringLiteral("playerPlayPause"));
    m_playPause->setAutoRaise(true);
    m_stop = new QToolButton(this);
    m_stop->setObjectName(QStringLiteral("playerStop"));
    m_stop->setAutoRaise(true);
    m_stop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    m_stop->setToolTip(QStringLiteral("停止"));
    m_seekBar = new QSlider(Qt::Horizontal, this);
    m_seekBar->setObjectName(QStringLiteral("playerSeekBar"));
    // The player moves the bar; only a user's finished move seeks.
    m_seekBar->setTracking(false);
    m_time = new QLabel(this);
    m_time->setObjectName(QStringLiteral("playerTime"));
    controls->addWidget(m_playPause);
    controls->addWidget(m_stop);
    controls->addWidget(m_seekBar, 1);
    controls->addWidget(m_time);
    layout->addLayout(controls);

    connect(m_playPause, &QToolButton::clicked, this, &PlayerPane::playOrPause);
    connect(m_stop, &QToolButton::clicked, m_player, &MpvPlayer::close);
    connect(m_seekBar, &QSlider::valueChanged, this, [this](int value) {
        if (!m_showingPosition)
            m_player->seek(value / kTicksPerSecond);
    });
    connect(m_player, &MpvPlayer::stateChanged, this, &PlayerPane::showState);
    connect(m_player, &MpvPlayer::positionChanged, this, &PlayerPane::showPosition);
    connect(m_player, &MpvPlayer::durationChanged, this, &PlayerPane::showDuration);

    showDuration(m_player->duration());
    showState(m_player->state());
}

QString PlayerPane::timeText(double elapsed, double total) {
    const bool hours = elapsed >= 3600 || total >= 3600;
    return clockText(elapsed, hours) + QStringLiteral(" / ") + clockText(total, hours);
}

void PlayerPane::showState(MediaPlayer::State state) {
    const bool paused = state == MediaPlayer::State::Paused;
    const bool idle = state == MediaPlayer::State::Idle;
    m_playPause->setIcon(
        style()->standardIcon(paused || idle ? QStyle::SP_MediaPlay : QStyle::SP_MediaPause));
    m_playPause->setToolTip(paused || idle ? QStringLiteral("播放") : QStringLiteral("暂停"));
    // Once stopped, play starts the last item again from its beginning.
    m_playPause->setEnabled(!idle || !m_player->location().isEmpty());
    m_stop->setEnabled(!idle);
    showPosition(m_player->position());
}

void PlayerPane::showPosition(double seconds) {
    m_time->setText(timeText(seconds, m_player->duration()));
    if (m_seekBar->isSliderDown())
        return;
    m_showingPosition = true;
    m_seekBar->setValue(int(seconds * kTicksPerSecond));
    m_showingPosition = false;
}

void PlayerPane::showDuration(double seconds) {
    m_showingPosition = true;
    m_seekBar->setRange(0, int(seconds * kTicksPerSecond));
    m_showingPosition = false;
    // Live streams have no length to seek in.
    m_seekBar->setEnabled(seconds > 0);
    m_time->setText(timeText(m_player->position(), seconds));
}

void PlayerPane::playOrPause() {
    switch (m_player->state()) {
    case MediaPlayer::State::Idle:
        m_player->open(m_player->location());
        break;
    case MediaPlayer::State::Paused:
        m_player->setPaused(false);
        break;
    default:
        m_player->setPaused(true);
        break;
    }
}
