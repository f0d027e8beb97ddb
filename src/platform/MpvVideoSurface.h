#pragma once

#include <QOpenGLWidget>

struct mpv_render_context;
class MpvPlayer;

// Draws the player's picture with libmpv's OpenGL render API.
class MpvVideoSurface final : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit MpvVideoSurface(MpvPlayer *player, QWidget *parent = nullptr);
    ~MpvVideoSurface() override;

    // Whether this machine can give a widget an OpenGL context at all.
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
