#include "StoreFiles.h"

namespace StoreFiles {

const QStringList &ownStems() {
    static const QStringList stems{SongStem,       DateStem,      OptionFlagsStem, ShutdownTimeStem,
                                   MakeUpDaysStem, WakeAlarmStem, TimetablesStem,  CampusStem};
    return stems;
}

QString ownStemOf(const QString &name) {
    auto lower = [](QChar c) { return c >= u'A' && c <= u'Z' ? QChar(c.unicode() + 32) : c; };
    for (const QString &stem : ownStems()) {
        if (stem.size() != name.size())
            continue;
        bool same = true;
        for (qsizetype i = 0; same && i < stem.size(); ++i)
            same = lower(stem[i]) == lower(name[i]);
        if (same)
            return stem;
    }
    return {};
}

} // namespace StoreFiles
