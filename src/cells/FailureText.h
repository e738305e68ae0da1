#pragma once
// The words a user reads when a request failed. One plain Chinese reason per kind of failure, the same in every
// window, alert and busy line; each window puts its own headline above it. The transport's own words (libcurl's
// English) go to the log, never to the screen.
#include "service/Reply.h"

#include <QString>

class QWidget;

// The reason for a failed request: "无法连接到服务器", "服务器响应超时", the service's own error text, ...
// Empty for a success and for a cancelled transfer (quitting needs no message).
QString failureReason(const weibo::TransferOutcome& outcome);

// The failure line of a refresh or poll: "更新失败：" and the reason ("请重新授权" alone for a refused token).
QString failureTextFor(const weibo::TransferOutcome& outcome);

// The warning alert of a failed operation: the window's headline (with the service's error code when it gave
// one) over the reason. Nothing for a success or a cancelled transfer. Writes the transport's words to the log.
void alertFailure(const QString& headline, const weibo::TransferOutcome& outcome, QWidget* parent = nullptr);

// Writes what the transport said of a failed request to the log, under `what` (the operation).
void logFailure(const QString& what, const weibo::TransferOutcome& outcome);
