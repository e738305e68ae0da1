#include "platform/NetworkOutcome.h"

#include <QNetworkReply>

namespace platform {

weibo::TransferOutcome outcomeOfReply(const QNetworkReply& reply)
{
    using weibo::TransferFailure;
    weibo::TransferOutcome outcome;
    outcome.httpStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    outcome.detail = reply.errorString().toStdString();
    switch (reply.error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::OperationCanceledError:
        // A reply we abort on purpose is disconnected first and never read; one that ends so by itself hit its
        // transfer time-out.
    case QNetworkReply::TimeoutError:
        outcome.failure = TransferFailure::TimedOut;
        return outcome;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::UnknownNetworkError:
        // The connection was made and then broke (a reset, a cut answer).
        outcome.failure = outcome.httpStatus ? TransferFailure::Broken : TransferFailure::Connection;
        if (reply.error() == QNetworkReply::RemoteHostClosedError)
            outcome.failure = TransferFailure::Broken;
        return outcome;
    default:
        if (outcome.httpStatus == 0) {
            outcome.failure = TransferFailure::Connection;
            return outcome;
        }
        break;
    }
    if (outcome.httpStatus >= 500)
        outcome.failure = TransferFailure::ServerError;
    else if (outcome.httpStatus >= 400)
        outcome.failure = TransferFailure::Refused;
    return outcome;
}

} // namespace platform
