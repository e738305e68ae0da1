#pragma once
// What the busy line says when the service could not be asked: short, naming the cause, never the raw transport
// text (which the user cannot act on).
#include "service/WeiboAPI.h"

#include <QString>

// Empty for a success and for a cancelled transfer (quitting needs no message).
QString failureTextFor(const weibo::TransferOutcome& outcome);
