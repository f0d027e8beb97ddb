#include "WakeAlarmFile.h"

#include "ProfileStore.h"
#include "StoreDirectory.h"
#include "StoreFiles.h"

namespace WakeAlarmFile {

namespace {
const QString kEnabled = QStringLiteral("启用");
const QString kLead = QStringLiteral("提前分钟");
const QString kSetAlarm = QStringLiteral("唤醒时间");

QString path(const QString &directory) {
    return StoreDirectory::filePath(directory, fileName());
}

std::optional<qint64> wholeNumber(const QString &text, qint64 limit) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 12)
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : trimmed) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > limit)
        return std::nullopt;
    return value;
}
} // namespace

QString fileName() {
    return StoreFiles::WakeAlarmStem + QStringLiteral(".ini");
}
QString section() {
    return QStringLiteral("定时开机");
}

Setting load(const QString &directory) {
    const ProfileFile file = ProfileFile::load(path(directory));
    Setting setting;
    setting.enabled = file.string(section(), kEnabled) == QStringLiteral("1");
    const auto lead = wholeNumber(file.string(section(), kLead), MaxLeadMinutes);
    if (lead && *lead >= MinLeadMinutes)
        setting.leadMinutes = static_cast<int>(*lead);
    return setting;
}

StoreResult store(const QString &directory, const Setting &setting) {
    QString error;
    ProfileFile file = ProfileFile::load(path(directory), &error);
    if (!error.isEmpty())
        return StoreResult::failure(error);
    const int lead = std::clamp(setting.leadMinutes, MinLeadMinutes, MaxLeadMinutes);
    if (auto r = file.setValue(section(), kEnabled,
                               setting.enabled ? QStringLiteral("1") : QStringLiteral("0"));
        !r)
        return r;
    if (auto r = file.setValue(section(), kLead, QString::number(lead)); !r)
        return r;
    return file.save(path(directory));
}

std::optional<qint64> loadSetAlarm(const QString &directory) {
    const auto at = wholeNumber(ProfileStore::readString(path(directory), section(), kSetAlarm),
                                999999999999LL);
    if (!at || *at == 0)
        return std::nullopt;
    return at;
}

StoreResult storeSetAlarm(const QString &directory, std::optional<qint64> epochSeconds) {
    return ProfileStore::writeString(path(directory), section(), kSetAlarm,
                                     epochSeconds ? QString::number(*epochSeconds) : QString());
}

} // namespace WakeAlarmFile
