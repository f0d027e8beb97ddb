#include "HelpTargets.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace HelpTargets {

QString helpChm(const QString &appDirectory) {
    return QDir(appDirectory).filePath(QStringLiteral("Help.chm"));
}

QStringList manualCandidates(const QString &appDirectory) {
    const QDir app(appDirectory);
    QStringList candidates{
        app.filePath(QStringLiteral("help/index.html")),
        QDir::cleanPath(app.filePath(QStringLiteral("../share/horalet/help/index.html"))),
    };
    for (const QString &data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        candidates.append(QDir(data).filePath(QStringLiteral("horalet/help/index.html")));
    candidates.removeDuplicates();
    return candidates;
}

QString manualFile(const QString &appDirectory) {
    for (const QString &candidate : manualCandidates(appDirectory)) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

QString helpFile(const QString &appDirectory) {
    const QString chm = helpChm(appDirectory);
    if (QFileInfo(chm).isFile())
        return chm;
    return manualFile(appDirectory);
}

} // namespace HelpTargets
