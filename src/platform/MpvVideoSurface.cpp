#include "MpvVideoSurface.h"

#include "MpvPlayer.h"

#include <QMetaObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <mpv/render_gl.h>

namespace {

void *procAddress(void *, const char *name) {
    QOpenGLContext *context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void *>(context->getProcAddress(name)) : nullptr;
}

} // namespace

MpvVideoSurface::MpvVideoSurface(MpvPlayer *player)
    : QOpenGLWindow(QOpenGLWindow::NoPartialUpdate), m_player(player) {
    // The render context must go before the core it draws for.
    connect(m_player, &MpvPlayer::shuttingDown, this, &MpvVideoSurface::releaseRenderer,
            Qt::DirectConnection);
    // libmpv asks for no frame when the picture goes away: draw its empty picture (black) then.
    connect(m_player, &MpvPlayer::pictureChanged, this, [this] {
        if (m_render && isExposed())
            update();
    });
}

MpvVideoSurface::~MpvVideoSurface() {
    releaseRenderer();
    // The base class destroys the context later, when this part of the object is gone.
    if (context())
        disconnect(context(), nullptr, this, nullptr);
    disconnect(m_player, nullptr, this, nullptr);
}

bool MpvVideoSurface::openGLAvailable() {
    static const bool available = [] {
        QOpenGLContext context;
        QOffscreenSurface surface;
        surface.create();
        return context.create() && surface.isValid() && context.makeCurrent(&surface);
    }();
    return available;
}

void MpvVideoSurface::initializeGL() {
    if (m_render || !m_player->handle())
        return;
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &MpvVideoSurface::releaseRenderer,
            Qt::DirectConnection);
    mpv_opengl_init_params gl{procAddress, nullptr};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char *>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &gl},
        {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (mpv_render_context_create(&m_render, m_player->handle(), params) < 0) {
        m_render = nullptr; // the item plays without picture
        return;
    }
    // Called on libmpv's threads: hand over to the GUI thread.
    mpv_render_context_set_update_callback(
        m_render,
        [](void *self) {
            auto *surface = static_cast<MpvVideoSurface *>(self);
            QMetaObject::invokeMethod(
                surface, [surface] { surface->frameReady(); }, Qt::QueuedConnection);
        },
        this);
}

void MpvVideoSurface::paintGL() {
    if (!m_render) {
        context()->functions()->glClearColor(0, 0, 0, 1);
        context()->functions()->glClear(GL_COLOR_BUFFER_BIT);
        return;
    }
    const qreal ratio = devicePixelRatio();
    mpv_opengl_fbo fbo{int(defaultFramebufferObject()), int(width() * ratio), int(height() * ratio),
                       0};
    int flip = 1;
    // Never wait for a frame's display time here: this thread also runs the schedule.
    int block = 0;
    mpv_render_param params[] = {{MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
                                 {MPV_RENDER_PARAM_FLIP_Y, &flip},
                                 {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    mpv_render_context_render(m_render, params);
}

void MpvVideoSurface::frameReady() {
    if (!m_render || !(mpv_render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME))
        return;
    if (isExposed()) {
        update();
        return;
    }
    // Hidden (in the tray, minimised): take the frame without drawing it, so the core never waits
    // on us.
    makeCurrent();
    int skip = 1;
    mpv_render_param params[] = {{MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    mpv_render_context_render(m_render, params);
    doneCurrent();
}

void MpvVideoSurface::releaseRenderer() {
    if (!m_render)
        return;
    makeCurrent();
    mpv_render_context_set_update_callback(m_render, nullptr, nullptr);
    mpv_render_context_free(m_render);
    m_render = nullptr;
    doneCurrent();
}
