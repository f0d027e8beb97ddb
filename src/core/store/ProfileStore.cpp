#include "ProfileStore.h"

#include "BoundedRead.h"
#include "Cp936Table.h"
#include "PlayTask.h"
#include "StoreDirectory.h"
#include "program/SystemErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isLead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

// The blanks Windows trims around names and values; 0x1A is a DOS end-of-file mark left on
// the last line. None of them is ever the trail byte of a double-byte character.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

QByteArrayView trimmedView(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

QByteArray trimBlanks(QByteArrayView text) {
    return trimmedView(text).toByteArray();
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// Whether byte i opens a double-byte character (whose next byte is then not a character of
// its own).
bool opensPair(QByteArrayView text, qsizetype i, bool dbcs) {
    return dbcs && isLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
           Cp936::isTrail(static_cast<unsigned char>(text[i + 1]));
}

// Equal but for the case of ASCII letters; double-byte characters must match whole.
bool sameName(QByteArrayView a, QByteArrayView b, bool dbcs) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (opensPair(a, i, dbcs)) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
        } else if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Lowers ASCII letters only; a trail byte that happens to be a letter is never changed.
QByteArray foldAscii(QByteArrayView text, bool dbcs) {
    QByteArray out = text.toByteArray();
    for (qsizetype i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (opensPair(out, i, dbcs))
            ++i;
        else if (c >= 'A' && c <= 'Z')
            out[i] = static_cast<char>(c + ('a' - 'A'));
    }
    return out;
}

// Position of the last ']' that is a character of its own, or -1; *count gets how many.
qsizetype lastCloseBracket(QByteArrayView line, bool dbcs, int *count = nullptr) {
    qsizetype found = -1;
    int seen = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (opensPair(line, i, dbcs)) {
            ++i;
        } else if (line[i] == ']') {
            found = i;
            ++seen;
        }
    }
    if (count)
        *count = seen;
    return found;
}

QByteArrayView unquote(QByteArrayView value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

// A value that reading would alter (surrounding blanks, an enclosing pair of quotes) is
// written inside one more pair of quotes, so it reads back exactly as given.
QByteArray protectValue(const QByteArray &value) {
    if (value.isEmpty())
        return value;
    const bool blankEdge = isBlank(value.front()) || isBlank(value.back());
    if (blankEdge || unquote(value).size() != value.size())
        return '"' + value + '"';
    return value;
}

// A line break would split the entry. A NUL cannot be a name, but a value read with one
// from a damaged file must be written back as it was.
bool hasLineBreakOrNul(const QString &text, bool nulAllowed) {
    for (QChar c : text)
        if (c == u'\r' || c == u'\n' || (c == u'\0' && !nulAllowed))
            return true;
    return false;
}

// Sections this long are looked up through an index of their keys.
constexpr size_t kIndexedSection = 16;

QString systemError(int code) {
    return SystemErrors::text(code);
}

} // namespace

std::optional<QByteArray> ProfileFile::encodeText(const QString &text) const {
    return FileEncodings::encode(text, m_encoding);
}

QString ProfileFile::decodeText(QByteArrayView bytes) const {
    return FileEncodings::decode(bytes, m_encoding);
}

std::optional<QString> ProfileFile::valueOf(const Line &line) const {
    if (!line.hasValue)
        return std::nullopt;
    const QByteArrayView view(line.raw);
    return decodeText(unquote(trimmedView(view.sliced(line.raw.indexOf('=') + 1))));
}

StoreResult ProfileFile::encodeName(const QString &text, const char *what, QByteArray *out) const {
    if (hasLineBreakOrNul(text, qstrcmp(what, "内容") == 0))
        return StoreResult::failure(
            QStringLiteral("%1“%2”含有换行符，无法保存。").arg(QString::fromUtf8(what), text));
    auto bytes = encodeText(text);
    if (!bytes)
        return StoreResult::failure(
            QStringLiteral("%1“%2”含有无法保存的字符。").arg(QString::fromUtf8(what), text));
    *out = *bytes;
    return StoreResult::success();
}

// A key must read back as the key: not empty, no '=', and not opening a section header.
StoreResult ProfileFile::checkKey(const QByteArray &key, const QString &given) const {
    if (key.isEmpty() || key.contains('=') || key.startsWith('['))
        return StoreResult::failure(QStringLiteral("键名“%1”无效。").arg(given));
    return StoreResult::success();
}

// The header "[name]" must close at its own bracket: no ']' inside, and no last byte that
// would take the bracket as the second half of a double-byte character.
bool ProfileFile::validSectionName(const QByteArray &name) const {
    const QByteArray header = '[' + name + ']';
    int count = 0;
    return lastCloseBracket(header, dbcs(), &count) == header.size() - 1 && count == 1;
}

ProfileFile ProfileFile::load(const QString &path, QString *error) {
    // Only a file that is not there reads as empty; one that cannot be read whole (no
    // permission on the way, an I/O error, a pipe or a device in its place) is reported.
    QByteArray bytes;
    QString why;
    if (BoundedRead::readStored(path, &bytes, &why) != BoundedRead::Stored::Whole) {
        if (error)
            *error = why;
        return {};
    }
    return fromBytes(bytes);
}

FileEncoding ProfileFile::encodingOf(const QString &path) {
    QByteArray bytes;
    BoundedRead::readStored(path, &bytes, nullptr);
    return FileEncodings::detect(bytes.first(std::min<qsizetype>(bytes.size(), 3)));
}

ProfileFile ProfileFile::fromBytes(const QByteArray &fileBytes) {
    ProfileFile profile;
    profile.m_encoding = FileEncodings::detect(fileBytes);
    const QByteArray bytes =
        FileEncodings::toParserBytes(fileBytes, profile.m_encoding, &profile.m_oddByte);
    const bool dbcs = profile.dbcs();
    qsizetype pos = 0;
    const qsizetype size = bytes.size();
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const QByteArrayView rawView = QByteArrayView(bytes).sliced(pos, end - pos);
        if (end < size && bytes[end] == '\r' && end + 1 < size && bytes[end + 1] == '\n')
            pos = end + 2;
        else
            pos = end + 1;

        const QByteArrayView trimmed = trimmedView(rawView);
        if (trimmed.startsWith('[')) {
            // Without a closing bracket the line is an ordinary one.
            const qsizetype close = lastCloseBracket(trimmed, dbcs);
            if (close > 0) {
                Section section;
                section.lines.reserve(8); // a task's seven keys, without regrowing
                section.name = trimBlanks(trimmed.sliced(1, close - 1));
                section.folded = foldAscii(section.name, dbcs);
                section.header = rawView.toByteArray();
                profile.m_sections.push_back(std::move(section));
                profile.indexSection(int(profile.m_sections.size()) - 1);
                continue;
            }
        }
        Line line{rawView.toByteArray(), 0, -1, false};
        const qsizetype eq = rawView.indexOf('=');
        const QByteArrayView key = eq >= 0 ? trimmedView(rawView.first(eq)) : trimmed;
        if (eq >= 0 || !key.isEmpty()) {
            line.keyBegin = int(key.data() - rawView.data());
            line.keyLength = int(key.size());
            line.hasValue = eq >= 0;
        }
        auto &lines =
            profile.m_sections.empty() ? profile.m_preamble : profile.m_sections.back().lines;
        lines.push_back(std::move(line));
    }
    return profile;
}

void ProfileFile::indexSection(int index) {
    const QByteArray &folded = m_sections[size_t(index)].folded;
    if (!m_firstSection.contains(folded))
        m_firstSection.insert(folded, index);
}

const ProfileFile::Section *ProfileFile::findSection(const QByteArray &folded) const {
    auto it = m_firstSection.constFind(folded);
    return it == m_firstSection.cend() ? nullptr : &m_sections[size_t(*it)];
}

ProfileFile::Line ProfileFile::keyLine(const QByteArray &key, const QByteArray &value) const {
    QByteArray raw;
    raw.reserve(key.size() + 1 + value.size());
    raw.append(key).append('=').append(value);
    return {std::move(raw), 0, int(key.size()), true};
}

const ProfileFile::Line *ProfileFile::findKey(const Section &section, QByteArrayView key) const {
    if (section.lines.size() < kIndexedSection) {
        for (const Line &line : section.lines)
            if (line.keyLength >= 0 && sameName(line.key(), key, dbcs()))
                return &line;
        return nullptr;
    }
    if (!section.indexed) {
        section.keyIndex.clear();
        section.keyIndex.reserve(qsizetype(section.lines.size()));
        // Backwards, so the first of equal keys is the one kept.
        for (size_t i = section.lines.size(); i-- > 0;) {
            const Line &line = section.lines[i];
            if (line.keyLength >= 0)
                section.keyIndex.insert(foldAscii(line.key(), dbcs()), int(i));
        }
        section.indexed = true;
    }
    auto it = section.keyIndex.constFind(foldAscii(key, dbcs()));
    return it == section.keyIndex.cend() ? nullptr : &section.lines[size_t(*it)];
}

QStringList ProfileFile::sectionNames() const {
    QStringList names;
    names.reserve(qsizetype(m_sections.size()));
    for (const Section &section : m_sections)
        names << decodeText(section.name);
    return names;
}

bool ProfileFile::hasSection(const QString &section) const {
    auto name = encodeText(section);
    return name && findSection(foldAscii(trimmedView(*name), dbcs()));
}

std::optional<QString> ProfileFile::value(const QString &section, const QString &key) const {
    auto sectionName = encodeText(section);
    auto keyName = encodeText(key);
    if (!sectionName || !keyName)
        return std::nullopt;
    const Section *found = findSection(foldAscii(trimmedView(*sectionName), dbcs()));
    if (!found)
        return std::nullopt;
    const Line *line = findKey(*found, trimmedView(*keyName));
    if (!line)
        return std::nullopt;
    return valueOf(*line);
}

QString ProfileFile::string(const QString &section, const QString &key,
                            const QString &fallback) const {
    return value(section, key).value_or(fallback);
}

int ProfileFile::integer(const QString &section, const QString &key, int fallback) const {
    auto text = value(section, key);
    if (!text || text->isEmpty())
        return fallback;
    return leadingInt(*text);
}

QStringList ProfileFile::keys(const QString &section) const {
    QStringList names;
    const auto sectionName = encodeText(section);
    const Section *found =
        sectionName ? findSection(foldAscii(trimmedView(*sectionName), dbcs())) : nullptr;
    if (!found)
        return names;
    QSet<QByteArray> seen;
    for (const Line &line : found->lines) {
        if (line.keyLength < 0)
            continue;
        const QByteArray folded = foldAscii(line.key(), dbcs());
        if (!seen.contains(folded)) {
            seen.insert(folded);
            names << decodeText(line.key());
        }
    }
    return names;
}

StoreResult ProfileFile::setValue(const QString &section, const QString &key,
                                  const QString &value) {
    QByteArray sectionName, keyName, valueBytes;
    if (auto r = encodeName(section, "节名", &sectionName); !r)
        return r;
    if (auto r = encodeName(key, "键名", &keyName); !r)
        return r;
    if (auto r = encodeName(value, "内容", &valueBytes); !r)
        return r;
    sectionName = trimBlanks(sectionName);
    keyName = trimBlanks(keyName);
    if (auto r = checkKey(keyName, key); !r)
        return r;
    if (!validSectionName(sectionName))
        return StoreResult::failure(QStringLiteral("节名“%1”无效。").arg(section));

    const QByteArray sectionFolded = foldAscii(sectionName, dbcs());
    const QByteArray stored = protectValue(valueBytes);

    auto it = m_firstSection.constFind(sectionFolded);
    if (it == m_firstSection.cend()) {
        Section created;
        created.name = sectionName;
        created.folded = sectionFolded;
        created.header = '[' + sectionName + ']';
        m_sections.push_back(std::move(created));
        indexSection(int(m_sections.size()) - 1);
        it = m_firstSection.constFind(sectionFolded);
    }
    Section &target = m_sections[size_t(*it)];
    if (const Line *found = findKey(target, keyName)) {
        Line &line = target.lines[size_t(found - target.lines.data())];
        line = keyLine(line.key().toByteArray(), stored);
        return StoreResult::success();
    }
    // After the last entry, so blank lines that separate it from the next section stay there.
    // Only blank lines follow it, so the key index stays valid.
    auto insertAt = target.lines.end();
    while (insertAt != target.lines.begin() && std::prev(insertAt)->keyLength < 0)
        --insertAt;
    const int at = int(insertAt - target.lines.begin());
    target.lines.insert(insertAt, keyLine(keyName, stored));
    if (target.indexed)
        target.keyIndex.insert(foldAscii(keyName, dbcs()), at);
    return StoreResult::success();
}
StoreResult ProfileFile::appendSection(const QString &section,
                                       std::initializer_list<Entry> entries) {
    QByteArray name;
    if (auto r = encodeName(section, "节名", &name); !r)
        return r;
    name = trimBlanks(name);
    const QByteArray folded = foldAscii(name, dbcs());
    if (!validSectionName(name) || m_firstSection.contains(folded)) {
        for (const auto &[key, value] : entries)
            if (auto r = setValue(section, QString(key), value); !r)
                return r;
        return StoreResult::success();
    }
    Section created;
    created.name = name;
    created.folded = folded;
    created.header = '[' + name + ']';
    created.lines.reserve(entries.size());
    for (const auto &[key, value] : entries) {
        const QByteArray keyBytes = trimBlanks(QByteArrayView(key.data(), key.size()));
        QByteArray valueBytes;
        if (auto r = encodeName(value, "内容", &valueBytes); !r)
            return r;
        if (auto r = checkKey(keyBytes, QString(key)); !r)
            return r;
        const bool repeated =
            std::any_of(created.lines.cbegin(), created.lines.cend(),
                        [&](const Line &l) { return sameName(l.key(), keyBytes, dbcs()); });
        if (repeated)
            return StoreResult::failure(QStringLiteral("键名“%1”重复。").arg(key));
        created.lines.push_back(keyLine(keyBytes, protectValue(valueBytes)));
    }
    m_sections.push_back(std::move(created));
    indexSection(int(m_sections.size()) - 1);
    return StoreResult::success();
}

ProfileFile::SectionRef ProfileFile::section(const QString &name) const {
    SectionRef ref;
    ref.m_file = this;
    if (auto bytes = encodeText(name))
        ref.m_section = findSection(foldAscii(trimmedView(*bytes), dbcs()));
    return ref;
}

ProfileFile::SectionRef ProfileFile::asciiSection(QByteArrayView name) const {
    SectionRef ref;
    ref.m_file = this;
    ref.m_section = findSection(foldAscii(trimmedView(name), dbcs()));
    return ref;
}

ProfileFile::SectionRef ProfileFile::sectionNamedAs(qsizetype headerIndex) const {
    SectionRef ref;
    ref.m_file = this;
    if (headerIndex >= 0 && headerIndex < sectionCount())
        ref.m_section = findSection(m_sections[size_t(headerIndex)].folded);
    return ref;
}

ProfileFile::SectionRef ProfileFile::sectionAt(qsizetype headerIndex) const {
    SectionRef ref;
    ref.m_file = this;
    if (headerIndex >= 0 && headerIndex < sectionCount())
        ref.m_section = &m_sections[size_t(headerIndex)];
    return ref;
}

QString ProfileFile::sectionNameAt(qsizetype headerIndex) const {
    if (headerIndex < 0 || headerIndex >= sectionCount())
        return {};
    return decodeText(m_sections[size_t(headerIndex)].name);
}

void ProfileFile::copyPreambleOf(const ProfileFile &other) {
    m_preamble = other.m_preamble;
}

void ProfileFile::appendSectionOf(const ProfileFile &other, qsizetype headerIndex) {
    if (headerIndex < 0 || headerIndex >= other.sectionCount())
        return;
    m_sections.push_back(other.m_sections[size_t(headerIndex)]);
    indexSection(int(m_sections.size()) - 1);
}

std::optional<QString> ProfileFile::SectionRef::value(QLatin1StringView asciiKey) const {
    if (!m_section)
        return std::nullopt;
    const Line *line = m_file->findKey(*static_cast<const Section *>(m_section),
                                       QByteArrayView(asciiKey.data(), asciiKey.size()));
    return line ? m_file->valueOf(*line) : std::nullopt;
}

std::optional<QString> ProfileFile::SectionRef::value(const QString &key) const {
    if (!m_section)
        return std::nullopt;
    const auto bytes = m_file->encodeText(key);
    if (!bytes)
        return std::nullopt;
    const Line *line =
        m_file->findKey(*static_cast<const Section *>(m_section), trimmedView(*bytes));
    return line ? m_file->valueOf(*line) : std::nullopt;
}

QStringList ProfileFile::SectionRef::numbered(const QString &prefix, int count) const {
    QStringList values;
    const std::optional<QByteArray> encoded = m_section ? m_file->encodeText(prefix) : std::nullopt;
    if (!encoded) {
        values.resize(std::max(count, 0));
        return values;
    }
    values.reserve(count);
    // Digits are one ASCII byte in every encoding a file may have.
    QByteArray key = trimmedView(*encoded).toByteArray();
    const qsizetype stem = key.size();
    for (int i = 0; i < count; ++i) {
        key.truncate(stem);
        key.append(QByteArray::number(i));
        const Line *line = m_file->findKey(*static_cast<const Section *>(m_section), key);
        values.append(line ? m_file->valueOf(*line).value_or(QString()) : QString());
    }
    return values;
}

QByteArray ProfileFile::toBytes() const {
    qsizetype total = 0;
    for (const Line &line : m_preamble)
        total += line.raw.size() + 2;
    for (const Section &section : m_sections) {
        total += section.header.size() + 2;
        for (const Line &line : section.lines)
            total += line.raw.size() + 2;
    }
    QByteArray out;
    out.reserve(total);
    auto put = [&out](const QByteArray &raw) {
        out += raw;
        out += "\r\n";
    };
    for (const Line &line : m_preamble)
        put(line.raw);
    for (const Section &section : m_sections) {
        put(section.header);
        for (const Line &line : section.lines)
            put(line.raw);
    }
    return FileEncodings::toFileBytes(out, m_encoding, m_oddByte);
}

StoreResult ProfileFile::save(const QString &path,
                              const KeptOriginals::SameContent &sameContent) const {
    return ProfileStore::rewriteStoreFile(path, toBytes(), sameContent);
}

namespace ProfileStore {

namespace {
QMutex faultLock;
std::optional<WriteFault> fault;
std::function<void()> slowWrite;

// The fault that strikes this write, if any.
std::optional<WriteFault> faultNow() {
    QMutexLocker locker(&faultLock);
    if (!fault)
        return std::nullopt;
    if (fault->passing > 0) {
        --fault->passing;
        return std::nullopt;
    }
    return fault;
}

std::function<void()> slowWriteNow() {
    QMutexLocker locker(&faultLock);
    return slowWrite;
}
} // namespace

void setWriteFault(std::optional<WriteFault> next) {
    QMutexLocker locker(&faultLock);
    fault = next;
}

void setSlowWrite(std::function<void()> waitBeforeWrite) {
    QMutexLocker locker(&faultLock);
    slowWrite = std::move(waitBeforeWrite);
}

StoreResult rewriteStoreFile(const QString &path, const QByteArray &bytes,
                             const KeptOriginals::SameContent &sameContent) {
    if (auto r = refuseReadOnly(path); !r)
        return r;
    if (auto r = KeptOriginals::beforeRewrite(path, sameContent); !r)
        return r;
    return writeFileAtomically(path, bytes);
}

StoreResult refuseReadOnly(const QString &path) {
    const QString reason = StoreDirectory::readOnlyReason(QFileInfo(path).absolutePath());
    if (reason.isEmpty())
        return StoreResult::success();
    return StoreResult::failure(reason + QStringLiteral("\n程序以只读方式运行，更改未保存。"));
}

QStringList sectionNames(const QString &path) {
    return ProfileFile::load(path).sectionNames();
}

QString readString(const QString &path, const QString &section, const QString &key,
                   const QString &fallback) {
    return ProfileFile::load(path).string(section, key, fallback);
}

int readInt(const QString &path, const QString &section, const QString &key, int fallback) {
    return ProfileFile::load(path).integer(section, key, fallback);
}

StoreResult writeString(const QString &path, const QString &section, const QString &key,
                        const QString &value) {
    QString error;
    ProfileFile profile = ProfileFile::load(path, &error);
    if (!error.isEmpty())
        return StoreResult::failure(error);
    if (auto r = profile.setValue(section, key, value); !r)
        return r;
    return profile.save(path);
}

StoreResult deleteFile(const QString &path) {
    if (auto r = refuseReadOnly(path); !r)
        return r;
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return StoreResult::success();
    return StoreResult::failure(
        QStringLiteral("无法删除文件“%1”：%2").arg(path, systemError(errno)));
}

int removeLeftoverTemporaries(const QString &directory) {
    static const QRegularExpression temporary(QStringLiteral("^\\.horalet-[A-Za-z0-9]{6}$"));
    int removed = 0;
    const QFileInfoList entries =
        QDir(directory).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries)
        if (temporary.match(entry.fileName()).hasMatch() && QFile::remove(entry.filePath()))
            ++removed;
    return removed;
}

StoreResult writeFileAtomically(const QString &path, const QByteArray &bytes) {
    if (auto r = refuseReadOnly(path); !r)
        return r;
    const QByteArray target = QFile::encodeName(path);
    // A short name of its own, so even a target of the longest file name has a temporary.
    QByteArray temp = QFile::encodeName(QFileInfo(path).absolutePath()) + "/.horalet-XXXXXX";
    auto fail = [&](const QString &what, int code) {
        return StoreResult::failure(
            QStringLiteral("无法保存文件“%1”（%2）：%3").arg(path, what, systemError(code)));
    };
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(QStringLiteral("创建临时文件"), errno);

    auto abandon = [&](const QString &what) {
        const int code = errno;
        ::close(fd);
        ::unlink(temp.constData());
        return fail(what, code);
    };
    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0) {
        if (::fchmod(fd, existing.st_mode & 07777) != 0)
            return abandon(QStringLiteral("设置权限"));
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(fd, 0666 & ~mask) != 0)
            return abandon(QStringLiteral("设置权限"));
    }
    const std::optional<WriteFault> injected = faultNow();
    if (const std::function<void()> wait = slowWriteNow())
        wait();
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    if (injected && injected->afterBytes >= 0)
        left = std::min<qsizetype>(left, injected->afterBytes);
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon(QStringLiteral("写入"));
        }
        data += n;
        left -= n;
    }
    if (injected && injected->afterBytes >= 0) {
        errno = ENOSPC;
        return abandon(QStringLiteral("写入"));
    }
    if (::fsync(fd) != 0)
        return abandon(QStringLiteral("写入磁盘"));
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return fail(QStringLiteral("写入"), code);
    }
    if (injected) {
        ::unlink(temp.constData());
        return fail(QStringLiteral("替换"), EIO);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return fail(QStringLiteral("替换"), code);
    }
    // The rename itself must reach the disk too, or a power cut could bring back the old file.
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return StoreResult::success();
}

} // namespace ProfileStore
