#pragma once
// What one request brought: its value together with the outcome of that very request. A caller that must tell the
// user why something failed reads the outcome it was handed, never a client's or a thread's "last error", which
// another request may have replaced in between.
#include <string>
#include <utility>

namespace weibo {

// Why a request failed, as far as a caller needs to tell it apart: a user sees one short text for each kind, and a
// refused token sends the user back to the authorisation.
enum class TransferFailure {
    None,
    Cancelled,    // cancelAllTransfers (quitting): nobody needs to hear of it
    NotSent,      // nothing to ask (an empty text, no id) or no transfer handle
    Connection,   // the service could not be reached: no route, refused, name unknown, connect time-out
    Broken,       // the service was reached, but the connection broke or the answer was cut short
    TimedOut,     // the service accepted the connection but did not answer in time
    TooLarge,     // the answer passed the size cap
    ServerError,  // HTTP 5xx
    Refused,      // HTTP 4xx or the service's error object: the service said no
    AuthRefused,  // the service no longer accepts the access token
    Unreadable,   // an answer came but could not be read
};

struct TransferOutcome {
    TransferFailure failure = TransferFailure::None;
    long httpStatus = 0;      // 0: no answer
    int errorCode = 0;        // the service's "error_code", 0 when none
    std::string errorText;    // the service's own "error" text, when its answer carried one
    std::string detail;       // the transport's own words, for the log only: never shown to the user

    bool ok() const { return failure == TransferFailure::None; }
};

// A value and the outcome of the request that brought it. On failure the value is what the design gives for a
// failure (an empty body, an empty list, false), so a caller that only needs the value may take it alone.
template <class T>
struct Reply {
    T value{};
    TransferOutcome outcome;

    Reply() = default;
    Reply(T v, TransferOutcome o) : value(std::move(v)), outcome(std::move(o)) {}

    bool ok() const { return outcome.ok(); }
    // The design's entry points hand back the value alone.
    operator const T&() const& { return value; }

    // The same outcome with another value (a parsed result of this answer).
    template <class U>
    Reply<U> with(U other) const
    {
        return Reply<U>(std::move(other), outcome);
    }
};

// A failed reply of any type, with the failure kind and nothing else.
inline TransferOutcome failureOf(TransferFailure failure)
{
    TransferOutcome outcome;
    outcome.failure = failure;
    return outcome;
}

// Gathers the outcomes of several requests of one operation into the one the user needs to hear: the first failure,
// unless a later one is a refused token (only that one needs the user to act).
inline void noteOutcome(TransferOutcome& kept, const TransferOutcome& next)
{
    if (!next.ok() && (kept.ok() || (next.failure == TransferFailure::AuthRefused &&
                                     kept.failure != TransferFailure::AuthRefused)))
        kept = next;
}

} // namespace weibo
