#pragma once

#include <QString>

// The volume of a task is stored as text (0 .. 65535, the master volume's scale); playback
// reads its leading digits, so text that is not a number plays at 0, silently.
namespace VolumeText {
inline constexpr int Loudest = 65535;

// What a typed volume stands for: full-width digits (a Chinese input method) read as
// digits, blanks around it dropped.
QString normal(const QString &typed);
// Why a volume may not be stored ("音量 \"abc\" 不是数字,…"); empty when it is a whole
// number from 0 to 65535.
QString problem(const QString &volume);
// The volume a stored text plays at.
int played(const QString &stored);
// For a stored text that is not such a number: what it plays at, and that this is silence
// ("音量“abc”不是 0 到 65535 之间的数字，播放时按 0 处理，听不到声音"); empty otherwise.
QString storedNote(const QString &stored);
// A stored text that is not a number plays at 0: the task will be silent though nobody chose
// silence ("0" is a choice and is not that).
bool silentByMistake(const QString &stored);
} // namespace VolumeText
