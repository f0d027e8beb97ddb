#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

// The system's master output volume on the 0..65535 scale.
class MasterVolume {
public:
    struct Reading {
        int value = -1;  // 0..65535, or -1 when the read failed
        QString failure; // text of the first failing step, shown to the user by the GUI
    };

    virtual ~MasterVolume() = default;
    virtual Reading GetMasterVolume() = 0;
    // Sets every channel to one value; silent on failure.
    virtual void SetMasterVolume(int value) = 0;

    // The same, for callers that must not wait for the sound server: `done` runs on the
    // caller's thread once the value is applied (or has failed), and not at all when
    // `context` is gone by then. A backend that answers at once answers here at once.
    virtual void SetMasterVolumeThen(int value, QObject *context, std::function<void()> done) {
        SetMasterVolume(value);
        if (context && done)
            done();
    }
    virtual void GetMasterVolumeThen(QObject *context, std::function<void(Reading)> done) {
        const Reading reading = GetMasterVolume();
        if (context && done)
            done(reading);
    }
};
