#include "AboutDlg.h"

#include "AppIcon.h"
#include "program/MakerInfo.h"
#include "widgets/LinkLabel.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(const QString &storeDirectory, QWidget *parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("关于"));
    setObjectName(QStringLiteral("aboutDialog100"));

    auto *icon = new QLabel(this);
    icon->setPixmap(AppIcon::application().pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    auto *name =
        new QLabel(MakerInfo::productName() + QLatin1Char(' ') + MakerInfo::version(), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto *what =
        new QLabel(QStringLiteral("按时间表播放歌曲、视频和网络广播的定时播放系统。"), this);
    auto *files = new QLabel(QStringLiteral("数据文件目录: %1").arg(storeDirectory), this);
    files->setTextInteractionFlags(Qt::TextSelectableByMouse);
    files->setWordWrap(true);
    auto *copyright = new QLabel(MakerInfo::copyright(), this);
    copyright->setObjectName(QStringLiteral("copyrightLine"));

    auto *texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(what);
    texts->addWidget(copyright);
    texts->addWidget(files);
    // A link with the words before it, when there is somewhere to go.
    const auto addLink = [this, texts](const QString &label, const QString &shown,
                                       const QString &target, const QString &objectName) {
        if (target.isEmpty())
            return;
        auto *line = new QHBoxLayout;
        if (!label.isEmpty())
            line->addWidget(new QLabel(label, this));
        auto *link = new CLinkLabel(shown, this);
        link->setObjectName(objectName);
        link->SetLinkTarget(target);
        link->SetUnderlineMode(CLinkLabel::UnderlineAlways);
        line->addWidget(link);
        line->addStretch(1);
        texts->addLayout(line);
    };
    const QString page = MakerInfo::homePageUrl().toString();
    if (MakerInfo::hasHomePage())
        addLink(QStringLiteral("主页:"), MakerInfo::homePage(), page,
                QStringLiteral("homePageLink1126"));
    else // the manual, by its name rather than a file:/// address
        addLink({}, QStringLiteral("软件使用说明"), page, QStringLiteral("homePageLink1126"));
    if (MakerInfo::hasMailAddress())
        addLink(QStringLiteral("邮箱:"), MakerInfo::mailAddress(), MakerInfo::mailUrl().toString(),
                QStringLiteral("mailLink"));

    auto *row = new QHBoxLayout;
    row->addWidget(icon);
    row->addLayout(texts, 1);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}
