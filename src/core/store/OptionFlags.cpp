#include "OptionFlags.h"

#include "ProfileStore.h"
#include "StoreDirectory.h"
#include "StoreFiles.h"

#include <utility>

QString OptionFlags::fileName() {
    return StoreFiles::OptionFlagsStem + QStringLiteral(".ini");
}

QString OptionFlags::section() {
    return QStringLiteral("复选控制");
}

QString OptionFlags::key(Flag flag) {
    switch (flag) {
    case FullScreen:
        return QStringLiteral("是否播放时全屏");
    case Loop:
        return QStringLiteral("是否循环");
    case UseSetVolume:
        return QStringLiteral("是否使用设定的音量");
    case ShutdownEnabled:
        return QStringLiteral("是否执行关机时间");
    case Monday:
        return QStringLiteral("周一");
    case Tuesday:
        return QStringLiteral("周二");
    case Wednesday:
        return QStringLiteral("周三");
    case Thursday:
        return QStringLiteral("周四");
    case Friday:
        return QStringLiteral("周五");
    case Saturday:
        return QStringLiteral("周六");
    case Sunday:
        return QStringLiteral("周日");
    case FlagCount:
        break;
    }
    return {};
}

OptionFlags::Flag OptionFlags::weekdayFlag(int weekday) {
    return weekday == 0 ? Sunday : static_cast<Flag>(Monday + (weekday - 1));
}

OptionFlags::OptionFlags(QString directory) : m_directory(std::move(directory)) {}

QString OptionFlags::path() const {
    return StoreDirectory::filePath(m_directory, fileName());
}

void OptionFlags::load() {
    const ProfileFile file = ProfileFile::load(path());
    for (int i = 0; i < FlagCount; ++i)
        m_flags[i] = file.string(section(), key(static_cast<Flag>(i))) == QLatin1String("1");
}

StoreResult OptionFlags::set(Flag flag, bool on) {
    const StoreResult written = ProfileStore::writeString(
        path(), section(), key(flag), on ? QStringLiteral("1") : QStringLiteral("0"));
    // A box whose state was not stored does not switch a day off either.
    if (written)
        m_flags[flag] = on;
    return written;
}

std::array<bool, 7> OptionFlags::weekdaysOff() const {
    std::array<bool, 7> off{};
    for (int day = 0; day < 7; ++day)
        off[day] = m_flags[weekdayFlag(day)];
    return off;
}
