#include "ProfileStore.h"

#include "PlayTask.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

QByteArrayView trimmedView(QByteArrayView text)
{
    // A trail byte of a double-byte character is never a blank or a tab, so bytes will do.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.sliced(begin, end - begin);
}

QByteArray trimBlanks(QByteArrayView text) { return trimmedView(text).toByteArray(); }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }

// Equal but for the case of ASCII letters; double-byte characters must match whole.
bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (isLead(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
        } else if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}



// Lowers ASCII letters only; double-byte characters are copied whole, so a trail byte that
// happens to be a letter is never changed.
QByteArray foldAscii(const QByteArray &text)
{
    QByteArray out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (isLead(c) && i + 1 < out.size())
            ++i;
        else if (c >= 'A' && c <= 'Z')
            out[i] = static_cast<char>(c + ('a' - 'A'));
    }
    return out;
}

// Position of the last ']' that is a character of its own, or -1.
qsizetype lastCloseBracket(const QByteArray &line)
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (isLead(c) && i + 1 < line.size())
            ++i;
        else if (c == ']')
            found = i;
    }
    return found;
}

QByteArrayView unquote(QByteArrayView value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

QString valueOf(const QByteArray &raw)
{
    const QByteArrayView view(raw);
    return Gbk::decode(unquote(trimmedView(view.sliced(raw.indexOf('=') + 1))));
}

// A value that reading would alter (surrounding blanks, an enclosing pair of quotes) is
// written inside one more pair of quotes, so it reads back exactly as given.
QByteArray protectValue(const QByteArray &value)
{
    if (value.isEmpty())
        return value;
    const bool blankEdge = value.front() == ' ' || value.front() == '\t' ||
                           value.back() == ' ' || value.back() == '\t';
    if (blankEdge || unquote(value).size() != value.size())
        return '"' + value + '"';
    return value;
}

bool hasLineBreakOrNul(const QString &text)
{
    for (QChar c : text)
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return true;
    return false;
}

StoreResult encodeName(const QString &text, const char *what, QByteArray *out)
{
    if (hasLineBreakOrNul(text))
        return StoreResult::failure(QStringLiteral("%1“%2”含有换行符，无法保存。")
                                        .arg(QString::fromUtf8(what), text));
    auto bytes = Gbk::encode(text);
    if (!bytes)
        return StoreResult::failure(
            QStringLiteral("%1“%2”含有无法保存的字符。").arg(QString::fromUtf8(what), text));
    *out = *bytes;
    return StoreResult::success();
}

QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

} // namespace

ProfileFile ProfileFile::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("无法读取文件“%1”：%2").arg(path, file.errorString());
        return {};
    }
    return fromBytes(file.readAll());
}

ProfileFile ProfileFile::fromBytes(const QByteArray &bytes)
{
    ProfileFile profile;
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
            const qsizetype close = lastCloseBracket(trimmed.toByteArray());
            Section section;
            section.lines.reserve(8); // a task's seven keys, without regrowing
            section.name = trimBlanks(close < 0 ? trimmed.sliced(1) : trimmed.sliced(1, close - 1));
            section.folded = foldAscii(section.name);
            section.header = rawView.toByteArray();
            profile.m_sections.push_back(std::move(section));
            profile.indexSection(int(profile.m_sections.size()) - 1);
            continue;
        }
        Line line{rawView.toByteArray(), 0, -1};
        const qsizetype eq = rawView.indexOf('=');
        if (eq >= 0) {
            const QByteArrayView key = trimmedView(rawView.first(eq));
            line.keyBegin = int(key.data() - rawView.data());
            line.keyLength = int(key.size());
        }
        auto &lines = profile.m_sections.empty() ? profile.m_preamble : profile.m_sections.back().lines;
        lines.push_back(std::move(line));
    }
    return profile;
}

void ProfileFile::indexSection(int index)
{
    const QByteArray &folded = m_sections[size_t(index)].folded;
    if (!m_firstSection.contains(folded))
        m_firstSection.insert(folded, index);
}

const ProfileFile::Section *ProfileFile::findSection(const QByteArray &folded) const
{
    auto it = m_firstSection.constFind(folded);
    return it == m_firstSection.cend() ? nullptr : &m_sections[size_t(*it)];
}

ProfileFile::Line ProfileFile::keyLine(const QByteArray &key, const QByteArray &value)
{
    QByteArray raw;
    raw.reserve(key.size() + 1 + value.size());
    raw.append(key).append('=').append(value);
    return {std::move(raw), 0, int(key.size())};
}

const ProfileFile::Line *ProfileFile::findKey(const Section &section, QByteArrayView key)
{
    for (const Line &line : section.lines)
        if (line.keyLength >= 0 && sameName(line.key(), key))
            return &line;
    return nullptr;
}

QStringList ProfileFile::sectionNames() const
{
    QStringList names;
    names.reserve(qsizetype(m_sections.size()));
    for (const Section &section : m_sections)
        names << Gbk::decode(section.name);
    return names;
}

bool ProfileFile::hasSection(const QString &section) const
{
    auto name = Gbk::encode(section);
    return name && findSection(foldAscii(trimBlanks(*name)));
}

std::optional<QString> ProfileFile::value(const QString &section, const QString &key) const
{
    auto sectionName = Gbk::encode(section);
    auto keyName = Gbk::encode(key);
    if (!sectionName || !keyName)
        return std::nullopt;
    const Section *found = findSection(foldAscii(trimBlanks(*sectionName)));
    if (!found)
        return std::nullopt;
    const Line *line = findKey(*found, trimmedView(*keyName));
    if (!line)
        return std::nullopt;
    return valueOf(line->raw);
}

QString ProfileFile::string(const QString &section, const QString &key, const QString &fallback) const
{
    return value(section, key).value_or(fallback);
}

int ProfileFile::integer(const QString &section, const QString &key, int fallback) const
{
    auto text = value(section, key);
    if (!text || text->isEmpty())
        return fallback;
    return leadingInt(*text);
}

QStringList ProfileFile::keys(const QString &section) const
{
    QStringList names;
    const auto sectionName = Gbk::encode(section);
    const Section *found = sectionName ? findSection(foldAscii(trimBlanks(*sectionName))) : nullptr;
    if (!found)
        return names;
    QSet<QByteArray> seen;
    for (const Line &line : found->lines) {
        if (line.keyLength < 0)
            continue;
        const QByteArray key = line.key().toByteArray();
        if (!seen.contains(foldAscii(key))) {
            seen.insert(foldAscii(key));
            names << Gbk::decode(key);
        }
    }
    return names;
}

StoreResult ProfileFile::setValue(const QString &section, const QString &key, const QString &value)
{
    QByteArray sectionName, keyName, valueBytes;
    if (auto r = encodeName(section, "节名", &sectionName); !r)
        return r;
    if (auto r = encodeName(key, "键名", &keyName); !r)
        return r;
    if (auto r = encodeName(value, "内容", &valueBytes); !r)
        return r;
    sectionName = trimBlanks(sectionName);
    keyName = trimBlanks(keyName);
    if (keyName.isEmpty() || keyName.contains('='))
        return StoreResult::failure(QStringLiteral("键名“%1”无效。").arg(key));
    if (sectionName.contains(']'))
        return StoreResult::failure(QStringLiteral("节名“%1”无效。").arg(section));

    const QByteArray sectionFolded = foldAscii(sectionName);
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
    for (Line &line : target.lines) {
        if (line.keyLength >= 0 && sameName(line.key(), keyName)) {
            line = keyLine(line.key().toByteArray(), stored);
            return StoreResult::success();
        }
    }
    // After the last entry, so blank lines that separate it from the next section stay there.
    auto insertAt = target.lines.end();
    while (insertAt != target.lines.begin() && trimBlanks(std::prev(insertAt)->raw).isEmpty())
        --insertAt;
    target.lines.insert(insertAt, keyLine(keyName, stored));
    return StoreResult::success();
}

StoreResult ProfileFile::appendSection(const QString &section, std::initializer_list<Entry> entries)
{
    QByteArray name;
    if (auto r = encodeName(section, "节名", &name); !r)
        return r;
    name = trimBlanks(name);
    const QByteArray folded = foldAscii(name);
    if (name.contains(']') || m_firstSection.contains(folded)) {
        for (const auto &[key, value] : entries)
            if (auto r = setValue(section, QString(key), value); !r)
                return r;
        return StoreResult::success();
    }
    Section created{name, folded, '[' + name + ']', {}};
    created.lines.reserve(entries.size());
    for (const auto &[key, value] : entries) {
        const QByteArray keyBytes = trimBlanks(QByteArrayView(key.data(), key.size()));
        QByteArray valueBytes;
        if (auto r = encodeName(value, "内容", &valueBytes); !r)
            return r;
        if (keyBytes.isEmpty() || keyBytes.contains('='))
            return StoreResult::failure(QStringLiteral("键名“%1”无效。").arg(key));
        const bool repeated = std::any_of(created.lines.cbegin(), created.lines.cend(),
                                          [&](const Line &l) { return sameName(l.key(), keyBytes); });
        if (repeated)
            return StoreResult::failure(QStringLiteral("键名“%1”重复。").arg(key));
        created.lines.push_back(keyLine(keyBytes, protectValue(valueBytes)));
    }
    m_sections.push_back(std::move(created));
    indexSection(int(m_sections.size()) - 1);
    return StoreResult::success();
}

ProfileFile::SectionRef ProfileFile::section(const QString &name) const
{
    SectionRef ref;
    ref.m_file = this;
    if (auto bytes = Gbk::encode(name))
        ref.m_section = findSection(foldAscii(trimBlanks(*bytes)));
    return ref;
}

ProfileFile::SectionRef ProfileFile::asciiSection(QByteArrayView name) const
{
    SectionRef ref;
    ref.m_file = this;
    ref.m_section = findSection(foldAscii(trimBlanks(name)));
    return ref;
}

ProfileFile::SectionRef ProfileFile::sectionNamedAs(qsizetype headerIndex) const
{
    SectionRef ref;
    ref.m_file = this;
    if (headerIndex >= 0 && headerIndex < sectionCount())
        ref.m_section = findSection(m_sections[size_t(headerIndex)].folded);
    return ref;
}

std::optional<QString> ProfileFile::SectionRef::value(QLatin1StringView asciiKey) const
{
    if (!m_section)
        return std::nullopt;
    const Line *line = findKey(*static_cast<const Section *>(m_section),
                               QByteArrayView(asciiKey.data(), asciiKey.size()));
    return line ? std::optional<QString>(valueOf(line->raw)) : std::nullopt;
}

QByteArray ProfileFile::toBytes() const
{
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
    return out;
}

StoreResult ProfileFile::save(const QString &path) const
{
    return ProfileStore::writeFileAtomically(path, toBytes());
}

namespace ProfileStore {

QStringList sectionNames(const QString &path) { return ProfileFile::load(path).sectionNames(); }

QString readString(const QString &path, const QString &section, const QString &key,
                   const QString &fallback)
{
    return ProfileFile::load(path).string(section, key, fallback);
}

int readInt(const QString &path, const QString &section, const QString &key, int fallback)
{
    return ProfileFile::load(path).integer(section, key, fallback);
}

StoreResult writeString(const QString &path, const QString &section, const QString &key,
                        const QString &value)
{
    QString error;
    ProfileFile profile = ProfileFile::load(path, &error);
    if (!error.isEmpty())
        return StoreResult::failure(error);
    if (auto r = profile.setValue(section, key, value); !r)
        return r;
    return profile.save(path);
}

StoreResult deleteFile(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return StoreResult::success();
    return StoreResult::failure(
        QStringLiteral("无法删除文件“%1”：%2").arg(path, systemError(errno)));
}

StoreResult writeFileAtomically(const QString &path, const QByteArray &bytes)
{
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
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
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
    if (::fsync(fd) != 0)
        return abandon(QStringLiteral("写入磁盘"));
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return fail(QStringLiteral("写入"), code);
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
