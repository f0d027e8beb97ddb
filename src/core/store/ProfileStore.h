#pragma once

#include "FileEncoding.h"
#include "KeptOriginals.h"
#include "StoreResult.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

// Code page 936 at the file boundary, as Windows maps it (user-defined areas in the Private
// Use Area). encode() fails on text the code page cannot hold, so nothing is ever stored as
// a replacement character; bytes decode() cannot map come out as U+DC80..U+DCFF and
// encode() turns them back into the same bytes.
namespace Gbk {
std::optional<QByteArray> encode(const QString &text);
QString decode(QByteArrayView bytes);
bool canEncode(const QString &text);
} // namespace Gbk

// A section/key/value text file read and written with the semantics of the Windows
// private-profile functions: CRLF/LF/CR line ends; blanks (space, tab, \v, \f, 0x1A) around
// names and values ignored; one pair of matching quotes around a value dropped; the first of
// two equal sections or keys wins; ASCII letters compared without case. A line without '=' is
// a key without a value (found, but read as missing); a '[' line without ']' is an ordinary
// line. A file with a UTF-8 or UTF-16 byte-order mark is read and written in that encoding,
// any other in code page 936. Edits keep every other line (comments included) and the whole
// file is written once per save, atomically.
class ProfileFile {
public:
    ProfileFile() = default;

    // A missing file loads as empty; an unreadable one reports why.
    static ProfileFile load(const QString &path, QString *error = nullptr);
    static ProfileFile fromBytes(const QByteArray &bytes);
    // The encoding a file has (code page 936 when missing or unreadable), for writers that
    // build a file anew in its place.
    static FileEncoding encodingOf(const QString &path);

    FileEncoding encoding() const { return m_encoding; }
    void setEncoding(FileEncoding encoding) { m_encoding = encoding; }

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
        std::optional<QString> value(const QString &key) const;
        QString string(QLatin1StringView asciiKey) const {
            return value(asciiKey).value_or(QString());
        }
        // The values of the keys prefix0 .. prefix<count - 1> in order, an empty text where one
        // is missing; the prefix is encoded once, as a damaged count may ask for very many.
        QStringList numbered(const QString &prefix, int count) const;

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
    // The index-th header's own section, even when an earlier one has the same name.
    SectionRef sectionAt(qsizetype headerIndex) const;
    QString sectionNameAt(qsizetype headerIndex) const;

    // Copies, as they stand, the lines before the first section / the index-th section of
    // another file: how a rewrite keeps what it does not understand.
    void copyPreambleOf(const ProfileFile &other);
    void appendSectionOf(const ProfileFile &other, qsizetype headerIndex);

    QByteArray toBytes() const;
    // Replaces the file at path; a file whose content the rewrite would not give back is
    // kept first (KeptOriginals). A writer that builds the file anew says what it makes of
    // the stored content.
    StoreResult
    save(const QString &path,
         const KeptOriginals::SameContent &sameContent = KeptOriginals::profileRewrite) const;

private:
    struct Line {
        QByteArray raw;        // without line end
        int keyBegin = 0;      // the trimmed key as spelled in the file...
        int keyLength = -1;    // ...or -1 when the line is blank
        bool hasValue = false; // false for a line without '='
        QByteArrayView key() const { return QByteArrayView(raw).sliced(keyBegin, keyLength); }
    };
    struct Section {
        QByteArray name;
        QByteArray folded;
        QByteArray header; // the header line as it stands
        std::vector<Line> lines;
        // Folded key -> first line with it; built on the first lookup in a long section.
        mutable QHash<QByteArray, int> keyIndex;
        mutable bool indexed = false;
    };

    bool dbcs() const { return FileEncodings::doubleByte(m_encoding); }
    std::optional<QByteArray> encodeText(const QString &text) const;
    QString decodeText(QByteArrayView bytes) const;
    std::optional<QString> valueOf(const Line &line) const;
    StoreResult encodeName(const QString &text, const char *what, QByteArray *out) const;
    StoreResult checkKey(const QByteArray &key, const QString &given) const;
    bool validSectionName(const QByteArray &name) const;
    const Section *findSection(const QByteArray &folded) const;
    const Line *findKey(const Section &section, QByteArrayView key) const;
    Line keyLine(const QByteArray &key, const QByteArray &value) const;
    void indexSection(int index);

    FileEncoding m_encoding = FileEncoding::Cp936;
    QByteArray m_oddByte; // a UTF-16 file's odd last byte, kept as it was

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
// Refused with the reason when path lies in a directory marked read-only; every write and
// deletion of a store file checks this first.
StoreResult refuseReadOnly(const QString &path);
// Writes bytes to a temporary file beside path, flushes it and renames it over path.
StoreResult writeFileAtomically(const QString &path, const QByteArray &bytes);
// The rewrite of a store file: refused in a read-only directory, the stored file kept first
// when the rewrite would change its content (KeptOriginals), then written atomically.
StoreResult
rewriteStoreFile(const QString &path, const QByteArray &bytes,
                 const KeptOriginals::SameContent &sameContent = KeptOriginals::profileRewrite);

// Test seam: writes that fail as a full disk or a failing device would. After `passing`
// writes succeed, every further write fails: with afterBytes >= 0 once that many bytes of
// the temporary are written, else with the temporary complete, just before the rename.
struct WriteFault {
    int passing = 0;
    qint64 afterBytes = -1;
};
void setWriteFault(std::optional<WriteFault> fault);
// Test seam: a slow device. Every write calls this on its own thread before it begins, and
// goes on when it returns.
void setSlowWrite(std::function<void()> waitBeforeWrite);
// Removes the temporaries of writes that were cut short (the process killed before the
// rename); returns how many. Only while this process holds the directory's lock.
int removeLeftoverTemporaries(const QString &directory);
} // namespace ProfileStore
