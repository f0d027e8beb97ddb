#pragma once

#include <QString>
#include <QStringList>

// The store's own files, each "<stem>.ini" in the store directory beside the playlists,
// which are "<task name>.ini" too. A task name equal to one of these stems would make a
// store file its playlist: deleting the task would delete the holidays or every task.
namespace StoreFiles {
inline const QString SongStem = QStringLiteral("song");
inline const QString DateStem = QStringLiteral("date");
inline const QString OptionFlagsStem = QStringLiteral("复选控制");
inline const QString ShutdownTimeStem = QStringLiteral("定时器时间设置");
inline const QString MakeUpDaysStem = QStringLiteral("调休上班");
inline const QString WakeAlarmStem = QStringLiteral("定时开机");
inline const QString TimetablesStem = QStringLiteral("作息表");
inline const QString CampusStem = QStringLiteral("广播分区");

// Every stem above: the one list that playlist names are checked against.
const QStringList &ownStems();
// The stem that name stands for, or an empty text. ASCII letters are compared without
// case, as Windows compares file names, since stores move between the two systems.
QString ownStemOf(const QString &name);
inline bool isOwnStem(const QString &name) {
    return !ownStemOf(name).isEmpty();
}
} // namespace StoreFiles
