#pragma once

#include "playback/DisplayKeeper.h"

#include <QString>

// Asks the session's screen saver (org.freedesktop.ScreenSaver) not to blank the display.
// The inhibition lasts as long as this process's bus connection, i.e. until exit.
class ScreenSaverInhibitor final : public DisplayKeeper {
public:
    bool keepAwake() override;
    quint32 cookie() const { return m_cookie; }

private:
    quint32 m_cookie = 0;
};
