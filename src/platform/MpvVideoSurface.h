#pragma once

#include <QOpenGLWindow>

struct mpv_render_context;
class MpvPlayer;

// Draws the player's picture with libmpv's OpenGL render API. A window of its own (embedded with
// QWidget::createWindowContainer) rather than a QOpenGLWidget: the latter makes Qt compose the
// whole form through OpenGL on each of its repaints, which costs a core under software GL.
class MpvVideoSurface final : public QOpenGLWindow {
    Q_OBJECT
public:
    explicit MpvVideoSurface(MpvPlayer *player);
    ~MpvVideoSurface() override;

    // Whether this machine can give a window an OpenGL context at all.
    static bool openGLAvailable();
    bool isRendering() const { return m_render != nullptr; }

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void frameReady();
    void releaseRenderer();

    MpvPlayer *m_player;
    mpv_render_context *m_render = nullptr;
};
