#include "mainwindow/FailureText.h"

QString failureTextFor(const weibo::TransferOutcome& outcome)
{
    using weibo::TransferFailure;
    switch (outcome.failure) {
    case TransferFailure::None:
    case TransferFailure::Cancelled:
        return QString();
    case TransferFailure::Connection:
        return QStringLiteral("更新失败：无法连接到服务器");
    case TransferFailure::TimedOut:
        return QStringLiteral("更新失败：服务器响应超时");
    case TransferFailure::TooLarge:
        return QStringLiteral("更新失败：服务器返回的数据过大");
    case TransferFailure::ServerError:
        return QStringLiteral("更新失败：服务器出错 (%1)").arg(outcome.httpStatus);
    case TransferFailure::Refused:
        return outcome.errorCode ? QStringLiteral("更新失败：服务拒绝了请求 (错误代码 %1)").arg(outcome.errorCode)
                                 : QStringLiteral("更新失败：服务拒绝了请求 (%1)").arg(outcome.httpStatus);
    case TransferFailure::AuthRefused:
        return QStringLiteral("请重新授权");
    case TransferFailure::Unreadable:
        return QStringLiteral("更新失败：服务器返回的数据无法读取");
    }
    return QString();
}
