#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// The sink a task plays to, as the sound server last described it.
struct OutputState {
    bool known = false; // false until the server has answered
    QString sink;       // its name
    bool muted = false;
    double volume = 1.0; // the loudest channel; 1.0 is the sink's full level
};
Q_DECLARE_METATYPE(OutputState)

// Listens to what a sink puts out: the sound server's peak detection on the sink's monitor,
// a few times a second. Runs only between start() and stop(), so it costs nothing while
// nothing plays.
class LevelWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~LevelWatch() override = default;

    // Starts listening to `sink` (empty: the server's default output); a watch already
    // running is stopped first.
    virtual void start(const QString &sink) = 0;
    virtual void stop() = 0;

signals:
    // The peak of the last slice of output, 0..1 of full scale. A sink that plays nothing
    // may send no slices at all.
    void level(double peak);
    // The sink's state when the watch starts and after every change of it.
    void outputChanged(const OutputState &state);
    // The watch could not start or was cut off; in Chinese.
    void failed(const QString &reason);
};
