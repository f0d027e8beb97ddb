#pragma once

#include "StoreResult.h"

#include <QString>

#include <array>

// The check boxes of the main view whose states live in "复选控制.ini" as "1" or "0".
// The flags held here are the live state: a toggle changes it even when the write fails.
class OptionFlags {
public:
    // In load order.
    enum Flag {
        FullScreen,      // 1003, stored only
        Loop,            // 1071, written by the loop radio, never applied back
        UseSetVolume,    // 1059, stored only
        ShutdownEnabled, // 1076
        Monday,          // 1045 .. 1051
        Tuesday,
        Wednesday,
        Thursday,
        Friday,
        Saturday,
        Sunday,
        FlagCount
    };

    static QString fileName();
    static QString section();
    static QString key(Flag flag);
    // The flag of a weekday numbered 0 = Sunday .. 6 = Saturday.
    static Flag weekdayFlag(int weekday);

    explicit OptionFlags(QString directory);

    // Reads every flag; only the text "1" reads as set. A missing file clears all.
    void load();
    bool isSet(Flag flag) const { return m_flags[flag]; }
    // Sets the flag and writes its key alone.
    StoreResult set(Flag flag, bool on);

    // Index 0 = Sunday .. 6 = Saturday.
    std::array<bool, 7> weekdaysOff() const;

private:
    QString path() const;

    QString m_directory;
    std::array<bool, FlagCount> m_flags{};
};
