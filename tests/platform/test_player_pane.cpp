// The player pane's own controls over real libmpv playback (offscreen, ao=null).
#include "GeneratedMedia.h"
#include "platform/MpvPlayer.h"
#include "platform/MpvVideoSurface.h"
#include "platform/PlayerPane.h"

#include <QLabel>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWindow>
#include <QtTest>

using State = MediaPlayer::State;

class TestPlayerPane : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void timeTextCountsWholeSeconds();
    void controlsFollowAndDriveThePlayer();
    void itemsAreHeardWithOrWithoutOpenGL();
    void pictureIsDrawnInThePane();

private:
    QTemporaryDir m_dir;
    QString m_tone;
};

void TestPlayerPane::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_tone = m_dir.filePath(QStringLiteral("tone.wav"));
    QVERIFY(writeTone(m_tone, 30.0));
}

void TestPlayerPane::timeTextCountsWholeSeconds() {
    QCOMPARE(PlayerPane::timeText(0, 0), QStringLiteral("00:00 / 00:00"));
    QCOMPARE(PlayerPane::timeText(59.99, 61), QStringLiteral("00:59 / 01:01"));
    QCOMPARE(PlayerPane::timeText(754, 3599), QStringLiteral("12:34 / 59:59"));
    QCOMPARE(PlayerPane::timeText(5, 3725), QStringLiteral("0:00:05 / 1:02:05"));
    // A stream reports no length; a garbage reading shows as zero, not as a huge number.
    QCOMPARE(PlayerPane::timeText(-0.02, std::nan("")), QStringLiteral("00:00 / 00:00"));
}

void TestPlayerPane::controlsFollowAndDriveThePlayer() {
    MpvPlayer::Options options;
    options.videoOutput = QStringLiteral("null");
    options.audioOutput = QStringLiteral("null");
    MpvPlayer player(options);
    PlayerPane pane(&player);
    pane.show();

    QVERIFY(!pane.playPauseButton()->isEnabled()); // nothing to play yet
    QVERIFY(!pane.stopButton()->isEnabled());
    QCOMPARE(pane.timeLabel()->text(), QStringLiteral("00:00 / 00:00"));

    player.open(m_tone);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    QVERIFY(pane.stopButton()->isEnabled());
    QCOMPARE(pane.seekBar()->maximum(), 300);
    QVERIFY(pane.seekBar()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(pane.timeLabel()->text(), QStringLiteral("00:01 / 00:30"), 5000);

    // Pause and resume from the pane.
    QTest::mouseClick(pane.playPauseButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Paused, 2000);
    QTest::mouseClick(pane.playPauseButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 2000);

    // A user's move of the seek bar seeks; the player's own updates never do.
    pane.seekBar()->setValue(200);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() >= 20.0, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(pane.timeLabel()->text().left(5), QStringLiteral("00:20"), 3000);
    QTest::qWait(1200);
    QVERIFY2(player.position() > 20.5, qPrintable(QString::number(player.position())));

    // Stop from the pane: the player is idle and reads 0; play starts the item again.
    QTest::mouseClick(pane.stopButton(), Qt::LeftButton);
    QCOMPARE(player.state(), State::Idle);
    QCOMPARE(player.position(), 0.0);
    QCOMPARE(pane.seekBar()->value(), 0);
    QVERIFY(!pane.stopButton()->isEnabled());
    QVERIFY(pane.playPauseButton()->isEnabled());
    QTest::mouseClick(pane.playPauseButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    QVERIFY(player.position() < 5.0);

    QVERIFY(!pane.window()->isFullScreen());
}

void TestPlayerPane::itemsAreHeardWithOrWithoutOpenGL() {
    // The program's own setting: the picture goes through the render API when it can.
    MpvPlayer::Options options = MpvPlayer::defaultOptions();
    options.audioOutput = QStringLiteral("null");
    MpvPlayer player(options);
    QVERIFY(player.rendersVideo());
    PlayerPane pane(&player);
    pane.show();
    QVERIFY(pane.videoSurface());
    qInfo() << "picture surface:" << pane.videoSurface()->metaObject()->className();
    player.open(m_tone);
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.3, 5000);
}

// Needs a display with OpenGL: ctest runs it again under Xvfb.
void TestPlayerPane::pictureIsDrawnInThePane() {
    if (!MpvVideoSurface::openGLAvailable())
        QSKIP("no OpenGL on this display");
    MpvPlayer::Options options = MpvPlayer::defaultOptions();
    options.audioOutput = QStringLiteral("null");
    MpvPlayer player(options);
    PlayerPane pane(&player);
    pane.resize(320, 240);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    MpvVideoSurface *surface = pane.videoWindow();
    QVERIFY(surface);
    QTRY_VERIFY_WITH_TIMEOUT(surface->isRendering(), 5000);
    // The form itself stays a raster window: composing it through OpenGL on each of its repaints
    // (the clock, the status line) would cost a core under software GL.
    QCOMPARE(pane.window()->windowHandle()->surfaceType(), QSurface::RasterSurface);

    // libavfilter's test card: colour bars over the whole picture.
    player.open(QStringLiteral("av://lavfi:testsrc=size=320x240:rate=25:duration=5"));
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, 5000);
    // What the screen shows where the pane has its picture.
    QWidget *picture = pane.videoSurface();
    auto colours = [picture] {
        const QPoint at = picture->mapToGlobal(QPoint(0, 0));
        const QImage frame =
            picture->screen()
                ->grabWindow(0, at.x(), at.y(), picture->width(), picture->height())
                .toImage();
        QSet<QRgb> seen;
        for (int y = 0; y < frame.height(); y += 8)
            for (int x = 0; x < frame.width(); x += 8)
                seen.insert(frame.pixel(x, y) & 0xf0f0f0);
        return seen.size();
    };
    QTRY_VERIFY_WITH_TIMEOUT(colours() > 5, 5000);
    QVERIFY(!pane.window()->isFullScreen());

    // Gone with the item: the pane goes black again.
    player.close();
    QTRY_VERIFY_WITH_TIMEOUT(colours() == 1, 5000);
}

QTEST_MAIN(TestPlayerPane)
#include "test_player_pane.moc"
