#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Whole-file helpers for tests that look at the bytes a store wrote.
inline QByteArray readFileBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFileBytes(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
