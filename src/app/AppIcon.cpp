#include "AppIcon.h"

#include "view/CommandIds.h"

#include <QPainter>
#include <QPixmap>

namespace {
struct CommandLook {
    int id;
    const char *glyph;
    QRgb colour;
};

constexpr CommandLook kLooks[] = {
    {CommandId::NewTask, "新", 0x2e8b57},    {CommandId::ModifyTask, "改", 0x1e6fd9},
    {CommandId::DeleteTask, "删", 0xc0392b}, {CommandId::ShowToday, "日", 0xd68910},
    {CommandId::ShowWeek, "周", 0xd68910},   {CommandId::ShowMonth, "月", 0xd68910},
    {CommandId::ShowAll, "全", 0xd68910},    {CommandId::SendMail, "邮", 0x7d3c98},
    {CommandId::HomePage, "主", 0x7d3c98},   {CommandId::Help, "帮", 0x117a65},
    {CommandId::Exit, "退", 0x566573},       {CommandId::Unassigned, "", 0x909497},
};
} // namespace

QIcon AppIcon::application() {
    // The same pictures the desktop's menu shows (src/res/icons, rendered from the SVG).
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/horalet-%1.png").arg(size), QSize(size, size));
    return icon;
}

QIcon AppIcon::command(int id) {
    for (const CommandLook &look : kLooks) {
        if (look.id != id)
            continue;
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(look.colour));
        painter.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
        QFont font = painter.font();
        font.setPixelSize(18);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QString::fromUtf8(look.glyph));
        return QIcon(pixmap);
    }
    return {};
}
