#pragma once

#include "StoreResult.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <optional>
#include <vector>

// Code page 936 at the file boundary. encode() fails on text the code page cannot hold,
// so nothing is ever stored as a replacement character.
namespace Gbk {
std::optional<QByteArray> encode(const QString &text);
QString decode(QByteArrayView bytes);
bool canEncode(const QString &text);
} // namespace Gbk

// A section/key/value text file read and written with the semantics of the Windows
// private-profile functions: CRLF/LF/CR line ends, blanks and tabs around names and values
// ignored, one pair of matching quotes around a value dropped, the first of two equal
// sections or keys wins, ASCII letters compared without case. Edits keep every other line
// (comments included) and the whole file is written once per save, atomically.
class ProfileFile {
public:
    ProfileFile() = default;

    // A missing file loads as empty; an unreadable one reports why.
    static ProfileFile load(const QString &path, QString *error = nullptr);
    static ProfileFile fromBytes(const QByteArray &bytes);

    // Every section header in file order, duplicates included.
    QStringList sectionNames() const;
    bool hasSection(const QString &section) const;
    std::optional<QString> value(const QString &section, const QString &key) const;
    QString string(const QString &section, const QString &key,
                   const QString &fallback = QString()) const;
    // Leading integer of the value; the fallback when the key is missing or empty.
    int integer(const QString &section, const QString &key, int fallback = 0) const;
    // The keys of the section in file order, each once (the first spelling of equal keys).
    QStringList keys(const QString &section) const;

    // Replaces the value in place (keeping the key's spelling), or appends the key after the
    // last entry of its section, or appends the section at the end of the file.
    StoreResult setValue(const QString &section, const QString &key, const QString &value);

    // Appends a new section with its entries in order: the fast way to build a file whole.
    // Keys are ASCII.
    using Entry = std::pair<QLatin1StringView, const QString &>;
    StoreResult appendSection(const QString &section, std::initializer_list<Entry> entries);

    // The values of one section, for readers that take many keys of many sections.
    class SectionRef {
    public:
        std::optional<QString> value(QLatin1StringView asciiKey) const;
        QString string(QLatin1StringView asciiKey) const { return value(asciiKey).value_or(QString()); }

    private:
        friend class ProfileFile;
        const ProfileFile *m_file = nullptr;
        const void *m_section = nullptr;
    };
    qsizetype sectionCount() const { return qsizetype(m_sections.size()); }
    // The first section of the given name (or of the name of the index-th header).
    SectionRef section(const QString &name) const;
    // The same for a name of ASCII characters only, without any conversion.
    SectionRef asciiSection(QByteArrayView name) const;
    SectionRef sectionNamedAs(qsizetype headerIndex) const;

    QByteArray toBytes() const;
    StoreResult save(const QString &path) const;

private:
    struct Line {
        QByteArray raw;       // without line end
        int keyBegin = 0;     // the trimmed key as spelled in the file...
        int keyLength = -1;   // ...or -1 when the line holds no key
        QByteArrayView key() const { return QByteArrayView(raw).sliced(keyBegin, keyLength); }
    };
    struct Section {
        QByteArray name;
        QByteArray folded;
        QByteArray header; // the header line as it stands
        std::vector<Line> lines;
    };

    const Section *findSection(const QByteArray &folded) const;
    static const Line *findKey(const Section &section, QByteArrayView key);
    static Line keyLine(const QByteArray &key, const QByteArray &value);
    void indexSection(int index);

    std::vector<Line> m_preamble; // lines before the first section: no section owns them
    std::vector<Section> m_sections;
    QHash<QByteArray, int> m_firstSection; // folded name -> first section with it
};

// One-shot operations on a file, for callers that touch a single value.
namespace ProfileStore {
QStringList sectionNames(const QString &path);
QString readString(const QString &path, const QString &section, const QString &key,
                   const QString &fallback = QString());
int readInt(const QString &path, const QString &section, const QString &key, int fallback = 0);
StoreResult writeString(const QString &path, const QString &section, const QString &key,
                        const QString &value);
StoreResult deleteFile(const QString &path);
// Writes bytes to a temporary file beside path, flushes it and renames it over path.
StoreResult writeFileAtomically(const QString &path, const QByteArray &bytes);
} // namespace ProfileStore
