#include "cells/FailureText.h"

#include "platform/AlertResponder.h"

#include <QDebug>

QString failureReason(const weibo::TransferOutcome& outcome)
{
    using weibo::TransferFailure;
    switch (outcome.failure) {
    case TransferFailure::None:
    case TransferFailure::Cancelled:
        return QString();
    case TransferFailure::NotSent:
        return QStringLiteral("请求未能发出");
    case TransferFailure::Connection:
        return QStringLiteral("无法连接到服务器");
    case TransferFailure::Broken:
        return QStringLiteral("与服务器的连接中断");
    case TransferFailure::TimedOut:
        return QStringLiteral("服务器响应超时");
    case TransferFailure::TooLarge:
        return QStringLiteral("服务器返回的数据过大");
    case TransferFailure::ServerError:
        return QStringLiteral("服务器出错 (%1)").arg(outcome.httpStatus);
    case TransferFailure::Refused:
        // The service's own words say most; its code goes into the headline.
        if (!outcome.errorText.empty())
            return QString::fromStdString(outcome.errorText);
        return outcome.errorCode ? QStringLiteral("服务拒绝了请求 (错误代码 %1)").arg(outcome.errorCode)
                                 : QStringLiteral("服务拒绝了请求 (%1)").arg(outcome.httpStatus);
    case TransferFailure::AuthRefused:
        return QStringLiteral("请重新授权");
    case TransferFailure::Unreadable:
        return QStringLiteral("服务器返回的数据无法读取");
    }
    return QString();
}

QString failureTextFor(const weibo::TransferOutcome& outcome)
{
    const QString reason = failureReason(outcome);
    if (reason.isEmpty() || outcome.failure == weibo::TransferFailure::AuthRefused)
        return reason;
    if (outcome.failure == weibo::TransferFailure::Refused && outcome.errorCode)
        return QStringLiteral("更新失败：服务拒绝了请求 (错误代码 %1)").arg(outcome.errorCode);
    return QStringLiteral("更新失败：") + reason;
}

void logFailure(const QString& what, const weibo::TransferOutcome& outcome)
{
    if (outcome.ok() || outcome.failure == weibo::TransferFailure::Cancelled)
        return;
    qWarning().noquote() << what << ":" << QString::fromStdString(outcome.detail) << "(HTTP" << outcome.httpStatus
                         << ", code" << outcome.errorCode << ")";
}

void alertFailure(const QString& headline, const weibo::TransferOutcome& outcome, QWidget* parent)
{
    if (outcome.ok() || outcome.failure == weibo::TransferFailure::Cancelled)
        return;
    logFailure(headline, outcome);
    const QString code = outcome.errorCode ? QString::number(outcome.errorCode) : QString();
    platform::AlertResponder::alertWarning(headline, failureReason(outcome), code, parent);
}
