#include "CommandLine.h"

#include "BuildInfo.h"

#include <QCommandLineParser>
#include <QFileInfo>

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

QString usage(const QCommandLineParser &parser, const QString &program) {
    QString text = parser.helpText();
    // The parser's heading names the program by whatever path started it.
    const QString heading = QStringLiteral("用法: %1 [选项]\n").arg(QFileInfo(program).fileName());
    const qsizetype firstBreak = text.indexOf(QLatin1Char('\n'));
    text = firstBreak < 0 ? QString() : text.mid(firstBreak + 1);
    text.replace(QStringLiteral("\nOptions:\n"), QStringLiteral("\n选项:\n"));
    return heading + text;
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
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(minimized);
    parser.addOption(store);
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
        result.output = why + QStringLiteral("\n\n") + usage(parser, program);
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
        return fail(QStringLiteral("选项有误：%1").arg(parser.errorText()));
    }
    if (parser.isSet(help)) {
        result.action = Action::ShowHelp;
        result.output = usage(parser, program);
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
