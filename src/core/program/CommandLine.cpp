#include "CommandLine.h"

#include "BuildInfo.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Qt's own options (QGuiApplication, QApplication, X11): the application object takes them.
struct QtOption {
    const char *name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},      {"platformpluginpath", true},
    {"platformtheme", true}, {"plugin", true},
    {"qmljsdebugger", true}, {"qwindowgeometry", true},
    {"qwindowicon", true},   {"qwindowtitle", true},
    {"session", true},       {"display", true},
    {"geometry", true},      {"style", true},
    {"stylesheet", true},    {"reverse", false},
    {"widgetcount", false},  {"nograb", false},
    {"dograb", false},       {"sync", false},
};

// Terminal columns a character takes: two for CJK ideographs, kana, hangul and full-width
// forms, one for the rest.
int columnsOf(char32_t c) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

int columnsOf(const QString &text) {
    int columns = 0;
    for (char32_t c : text.toUcs4())
        columns += columnsOf(c);
    return columns;
}

// Punctuation that may not begin a line.
bool closesPhrase(char32_t c) {
    return QStringLiteral("。，、；：？！）」』”’》.,;:?!)").contains(QString::fromUcs4(&c, 1));
}

// The description broken into lines of at most `width` columns.
QStringList wrapped(const QString &text, int width) {
    QStringList lines;
    QString line;
    int used = 0;
    for (char32_t c : text.toUcs4()) {
        const int columns = columnsOf(c);
        if (used + columns > width && !line.isEmpty()) {
            // The character before a closing mark goes down with it.
            QString carried;
            if (closesPhrase(c) && line.size() > 1) {
                const qsizetype cut =
                    line.back().isLowSurrogate() ? line.size() - 2 : line.size() - 1;
                carried = line.mid(cut);
                line.truncate(cut);
            }
            lines << line;
            line = carried;
            used = columnsOf(carried);
        }
        line += QString::fromUcs4(&c, 1);
        used += columns;
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

constexpr int kLineColumns = 79;

// Qt's own help pads by characters, which puts Chinese text out of line in a terminal.
QString usage(const QCommandLineParser &parser, const QList<QCommandLineOption> &options,
              const QString &program) {
    QList<std::pair<QString, QString>> rows;
    for (const QCommandLineOption &option : options) {
        QStringList names;
        for (const QString &name : option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString left = names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            left += QStringLiteral(" <%1>").arg(option.valueName());
        rows.append({left, option.description()});
    }
    int nameColumns = 0;
    for (const auto &row : rows)
        nameColumns = std::max(nameColumns, columnsOf(row.first));
    const int indent = 2 + nameColumns + 2;
    QString text = QStringLiteral("用法: %1 [选项]\n%2\n\n选项:\n")
                       .arg(QFileInfo(program).fileName(), parser.applicationDescription());
    for (const auto &[left, description] : rows) {
        const QStringList lines = wrapped(description, std::max(20, kLineColumns - indent));
        text += QStringLiteral("  ") + left +
                QString(indent - 2 - columnsOf(left), QLatin1Char(' ')) + lines.value(0) +
                QLatin1Char('\n');
        for (qsizetype i = 1; i < lines.size(); ++i)
            text += QString(indent, QLatin1Char(' ')) + lines[i] + QLatin1Char('\n');
    }
    return text;
}

// The parser's own complaints, in the words of the rest of the help.
QString parserError(const QString &english) {
    static const std::pair<const char *, const char *> known[] = {
        {R"(^Missing value after '(.+)'\.?$)", "选项 %1 缺少取值。"},
        {R"(^Unexpected value after '(.+)'\.?$)", "选项 %1 不接受取值。"},
    };
    for (const auto &[pattern, chinese] : known) {
        const QRegularExpressionMatch match =
            QRegularExpression(QString::fromLatin1(pattern)).match(english);
        if (match.hasMatch())
            return QString::fromUtf8(chinese).arg(match.captured(1));
    }
    return QStringLiteral("选项有误（%1）").arg(english);
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quenlo多媒体定时播放系统：按时间表播放歌曲、视频和网络广播。"));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("显示本帮助并退出。"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("显示版本号并退出。"));
    const QCommandLineOption minimized(
        QStringLiteral("minimized"),
        QStringLiteral("启动时不打开窗口：有系统托盘时只显示托盘图标，否则最小化窗口。"));
    const QCommandLineOption store(
        QStringLiteral("store"),
        QStringLiteral("数据文件目录（优先于环境变量 HORALET_STORE_DIR）。"),
        QStringLiteral("目录"));
    const QList<QCommandLineOption> ours{help, version, minimized, store};
    for (const QCommandLineOption &option : ours)
        parser.addOption(option);
    for (const QtOption &qt : kQtOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.name), QString());
        if (qt.takesValue)
            option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const QString program = arguments.isEmpty() ? QStringLiteral("horalet") : arguments.first();
    CommandLine result;
    auto fail = [&](const QString &why) {
        result.action = Action::Error;
        result.output = why + QStringLiteral("\n\n") + usage(parser, ours, program);
        return result;
    };

    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            QStringList shown;
            for (const QString &name : unknown)
                shown.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) +
                             name);
            return fail(QStringLiteral("未知选项：%1").arg(shown.join(QStringLiteral(", "))));
        }
        return fail(parserError(parser.errorText()));
    }
    if (parser.isSet(help)) {
        result.action = Action::ShowHelp;
        result.output = usage(parser, ours, program);
        return result;
    }
    if (parser.isSet(version)) {
        result.action = Action::ShowVersion;
        result.output = QStringLiteral("Horalet %1\n").arg(QStringLiteral(HORALET_VERSION));
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail(QStringLiteral("多余的参数：%1")
                        .arg(parser.positionalArguments().join(QLatin1Char(' '))));
    }
    if (parser.isSet(store)) {
        result.storeDirectory = parser.value(store);
        if (result.storeDirectory.trimmed().isEmpty())
            return fail(QStringLiteral("选项 --store 需要一个目录。"));
    }
    result.minimized = parser.isSet(minimized);
    return result;
}

int CommandLine::exitCode() const {
    switch (action) {
    case Action::ShowHelp:
    case Action::ShowVersion:
        return 0;
    case Action::Error:
        return 2;
    case Action::Run:
        break;
    }
    return 0;
}
