#pragma once

#include "StoreResult.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

// Before the first rewrite of a store file in a run, the file as it stands is kept beside it
// when that rewrite would not give its content back byte for byte (line ends aside): a
// damaged or hand-edited file loses nothing it held. The copy is named
// "<file name>.bak-YYYYMMDD-HHMMSS", so it never ends in ".ini" and is never read as a store
// file or a playlist.
namespace KeptOriginals {

// What a rewrite of the stored content, changed in nothing, makes of the stored bytes.
using SameContent = std::function<QByteArray(const QByteArray &stored)>;
// The rewrite of an edit in place: every line kept as the reader holds it.
QByteArray profileRewrite(const QByteArray &stored);

// Called right before path is replaced or deleted by a rewrite. Fails, and the rewrite must
// not go on, when the file is there but cannot be read whole, or its copy cannot be made.
StoreResult beforeRewrite(const QString &path, const SameContent &sameContent = profileRewrite);

QString copyName(const QString &fileName, const QDateTime &when);
// What the user is told about a copy kept.
QString message(const QString &path, const QString &copyPath);

// Announces each copy made, for the interface to tell the user without waiting for them.
class Notices : public QObject {
    Q_OBJECT
public:
    static Notices &instance();

signals:
    void kept(const QString &path, const QString &copyPath);
};

} // namespace KeptOriginals
