#include "platform/FailureTexts.h"

#include <cerrno>

namespace quillon {

QString failureText(FailureKind kind) {
    switch (kind) {
    case FailureKind::noWritePermission:
        return QStringLiteral("没有写入权限");
    case FailureKind::fileNameTooLong:
        return QStringLiteral("文件名过长");
    case FailureKind::folderOfThatName:
        return QStringLiteral("已有同名文件夹");
    case FailureKind::diskFull:
        return QStringLiteral("磁盘空间不足");
    case FailureKind::fileNotWritten:
        return QStringLiteral("无法写入文件");
    case FailureKind::unusableAddress:
        return QStringLiteral("下载地址无效");
    case FailureKind::timedOut:
        return QStringLiteral("请求超时。");
    case FailureKind::connectionRefused:
        return QStringLiteral("未能连接到服务器。");
    case FailureKind::hostNotFound:
        return QStringLiteral("未能找到使用指定主机名的服务器。");
    case FailureKind::connectionLost:
        return QStringLiteral("网络连接已中断。");
    case FailureKind::unsafeRedirect:
        return QStringLiteral("服务器的重定向不安全，已停止请求。");
    case FailureKind::secureConnectionFailed:
        return QStringLiteral("无法建立安全连接。");
    case FailureKind::networkError:
        return QStringLiteral("网络错误");
    case FailureKind::administratorCancelled:
        return QStringLiteral("已取消管理员授权。");
    case FailureKind::administratorUnavailable:
        return QStringLiteral("无法请求管理员授权");
    case FailureKind::unknown:
        return QStringLiteral("发生未知错误");
    }
    return QStringLiteral("发生未知错误");
}

FailureKind fileFailureKind(int errorNumber) {
    switch (errorNumber) {
    case EACCES:
    case EPERM:
    case EROFS:
        return FailureKind::noWritePermission;
    case ENAMETOOLONG:
        return FailureKind::fileNameTooLong;
    case EISDIR:
        return FailureKind::folderOfThatName;
    case ENOSPC:
    case EDQUOT:
        return FailureKind::diskFull;
    default:
        return FailureKind::fileNotWritten;
    }
}

} // namespace quillon
