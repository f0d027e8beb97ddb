#include "SystemErrors.h"

#include <QHash>

#include <cerrno>
#include <cstring>

namespace {

struct Known {
    int code;
    const char *chinese;
};

// The failures a store, a play log or a media file meets in practice.
constexpr Known kKnown[] = {
    {ENOENT, "文件或目录不存在"},
    {EACCES, "没有访问权限"},
    {EPERM, "操作不被允许"},
    {EROFS, "文件系统是只读的"},
    {ENOSPC, "磁盘空间不足"},
    {EDQUOT, "超出磁盘配额"},
    {EEXIST, "文件已存在"},
    {ENOTDIR, "路径中有一部分不是目录"},
    {EISDIR, "这是一个目录"},
    {ENOTEMPTY, "目录不是空的"},
    {EIO, "输入/输出错误（磁盘或介质可能有故障）"},
    {EBUSY, "设备或资源忙"},
    {ETXTBSY, "文件正被使用"},
    {EMFILE, "打开的文件太多"},
    {ENFILE, "系统中打开的文件太多"},
    {ENAMETOOLONG, "文件名太长"},
    {ELOOP, "符号链接层次太多"},
    {EXDEV, "不能跨文件系统移动"},
    {EINVAL, "参数无效"},
    {ENOMEM, "内存不足"},
    {EAGAIN, "资源暂时不可用"},
    {EFBIG, "文件太大"},
    {ENODEV, "没有这个设备"},
    {ENXIO, "没有这个设备或地址"},
    {ESTALE, "网络文件句柄已失效"},
    {ETIMEDOUT, "连接超时"},
    {ECONNREFUSED, "连接被拒绝"},
    {EHOSTUNREACH, "无法连接到主机"},
    {ENETUNREACH, "网络不可达"},
};

QString original(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

namespace SystemErrors {

QString text(int code) {
    for (const Known &known : kKnown)
        if (known.code == code)
            return QString::fromUtf8(known.chinese);
    return QStringLiteral("系统错误 %1（%2）").arg(code).arg(original(code));
}

QString translated(const QString &systemText) {
    static const QHash<QString, const Known *> byText = [] {
        QHash<QString, const Known *> texts;
        for (const Known &known : kKnown)
            texts.insert(original(known.code), &known);
        return texts;
    }();
    if (const Known *known = byText.value(systemText.trimmed()))
        return QString::fromUtf8(known->chinese);
    return systemText;
}

} // namespace SystemErrors
