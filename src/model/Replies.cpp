#include "model/Replies.h"

#include "service/WeiboAPI.h"

#include <cctype>

namespace weibo {

namespace {

int codeNumber(const std::string& text)
{
    if (text.empty() || text.size() > 9)
        return 0;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return 0;
    return std::stoi(text);
}

// The service's own words from its error object in `body`, added to `outcome`.
void takeServiceError(const std::string& body, TransferOutcome& outcome)
{
    std::string error, code;
    parseError(body, error, code);
    if (!error.empty())
        outcome.errorText = error;
    // The detailed code (leading the "error" text) outranks a bare HTTP status in "error_code".
    if (const int detailed = errorCodeOf(body))
        outcome.errorCode = detailed;
    else if (const int plain = codeNumber(code))
        outcome.errorCode = plain;
}

// A transfer that failed: its outcome, with the service's words when it answered with an error.
TransferOutcome failedTransfer(const Reply<std::string>& answer)
{
    TransferOutcome outcome = answer.outcome;
    if (!answer.value.empty())
        takeServiceError(answer.value, outcome);
    if (outcome.failure == TransferFailure::Refused && isTokenRefusal(outcome.errorCode))
        outcome.failure = TransferFailure::AuthRefused;
    return outcome;
}

// An answer that came with success status but holds the service's error object.
TransferOutcome refusedBy(const Reply<std::string>& answer)
{
    TransferOutcome outcome = answer.outcome;
    takeServiceError(answer.value, outcome);
    outcome.failure = isTokenRefusal(outcome.errorCode) ? TransferFailure::AuthRefused : TransferFailure::Refused;
    return outcome;
}

TransferOutcome unreadable(const Reply<std::string>& answer, const char* why)
{
    TransferOutcome outcome = answer.outcome;
    outcome.failure = TransferFailure::Unreadable;
    outcome.detail = why;
    return outcome;
}

// The outcome of a page by its shape: a page that offered elements of which none could be read says nothing,
// while a page with some readable elements is good for those.
TransferOutcome pageOutcome(const Reply<std::string>& answer, const PageShape& shape)
{
    if (!shape.readable)
        return unreadable(answer, "answer is not JSON");
    if (shape.errorObject)
        return refusedBy(answer);
    if (shape.elements != 0 && shape.unreadable == shape.elements)
        return unreadable(answer, "no element of the page could be read");
    return answer.outcome;
}

} // namespace

TransferOutcome outcomeOf(const Reply<std::string>& answer)
{
    if (!answer.ok())
        return failedTransfer(answer);
    if (!isReadableAnswer(answer.value))
        return unreadable(answer, "answer is not JSON");
    std::string error, code;
    parseError(answer.value, error, code);
    if (!error.empty() || !code.empty())
        return refusedBy(answer);
    return answer.outcome;
}

template <class T>
Reply<Records<T>> recordsOf(const Reply<std::string>& answer)
{
    if (!answer.ok())
        return Reply<Records<T>>({}, failedTransfer(answer));
    PageShape shape;
    Records<T> records = parseString<T>(answer.value, &shape);
    const TransferOutcome outcome = pageOutcome(answer, shape);
    if (!outcome.ok())
        records.clear();
    return Reply<Records<T>>(std::move(records), outcome);
}

template <class T>
Reply<boost::shared_ptr<T>> recordOf(const Reply<std::string>& answer)
{
    Reply<Records<T>> page = recordsOf<T>(answer);
    if (!page.ok())
        return Reply<boost::shared_ptr<T>>(nullptr, page.outcome);
    if (page.value.empty())
        return Reply<boost::shared_ptr<T>>(nullptr, unreadable(answer, "answer carries no record"));
    return Reply<boost::shared_ptr<T>>(page.value.front(), page.outcome);
}

template Reply<Records<WBStatus>> recordsOf<WBStatus>(const Reply<std::string>&);
template Reply<Records<WBComment>> recordsOf<WBComment>(const Reply<std::string>&);
template Reply<Records<WBMessage>> recordsOf<WBMessage>(const Reply<std::string>&);
template Reply<Records<WBUser>> recordsOf<WBUser>(const Reply<std::string>&);
template Reply<Records<WBEmotion>> recordsOf<WBEmotion>(const Reply<std::string>&);
template Reply<Records<WBSuggestionAtUser>> recordsOf<WBSuggestionAtUser>(const Reply<std::string>&);
template Reply<boost::shared_ptr<WBStatus>> recordOf<WBStatus>(const Reply<std::string>&);
template Reply<boost::shared_ptr<WBComment>> recordOf<WBComment>(const Reply<std::string>&);
template Reply<boost::shared_ptr<WBMessage>> recordOf<WBMessage>(const Reply<std::string>&);
template Reply<boost::shared_ptr<WBUser>> recordOf<WBUser>(const Reply<std::string>&);

Reply<boost::optional<WBUnread>> unreadOf(const Reply<std::string>& answer)
{
    const TransferOutcome outcome = outcomeOf(answer);
    if (!outcome.ok())
        return Reply<boost::optional<WBUnread>>(boost::none, outcome);
    boost::optional<WBUnread> unread = parseUnread(answer.value);
    if (!unread)
        return Reply<boost::optional<WBUnread>>(boost::none, unreadable(answer, "counters are not an object"));
    return Reply<boost::optional<WBUnread>>(unread, outcome);
}

Reply<boost::shared_ptr<WBFriendship>> friendshipOf(const Reply<std::string>& answer)
{
    const TransferOutcome outcome = outcomeOf(answer);
    if (!outcome.ok())
        return Reply<boost::shared_ptr<WBFriendship>>(nullptr, outcome);
    boost::shared_ptr<WBFriendship> friendship = parseFriendship(answer.value);
    if (!friendship || friendship->source->id == 0 || friendship->target->id == 0)
        return Reply<boost::shared_ptr<WBFriendship>>(nullptr, unreadable(answer, "relation names no users"));
    return Reply<boost::shared_ptr<WBFriendship>>(friendship, outcome);
}

Reply<Records<WBList>> listsOf(const Reply<std::string>& answer)
{
    if (!answer.ok())
        return Reply<Records<WBList>>({}, failedTransfer(answer));
    PageShape shape;
    Records<WBList> lists = parseLists(answer.value, &shape);
    const TransferOutcome outcome = pageOutcome(answer, shape);
    if (!outcome.ok())
        lists.clear();
    return Reply<Records<WBList>>(std::move(lists), outcome);
}

Reply<ListMembersPage> listMembersOf(const Reply<std::string>& answer)
{
    if (!answer.ok())
        return Reply<ListMembersPage>({}, failedTransfer(answer));
    PageShape shape;
    ListMembersPage page;
    page.members =
        parseListMembers(answer.value, page.previous_cursor, page.next_cursor, page.total_number, &shape);
    const TransferOutcome outcome = pageOutcome(answer, shape);
    if (!outcome.ok())
        return Reply<ListMembersPage>({}, outcome);
    return Reply<ListMembersPage>(std::move(page), outcome);
}

Reply<WBCountTable> countsOf(const Reply<std::string>& answer)
{
    if (!answer.ok())
        return Reply<WBCountTable>({}, failedTransfer(answer));
    PageShape shape;
    WBCountTable counts = parseCounts(answer.value, &shape);
    const TransferOutcome outcome = pageOutcome(answer, shape);
    if (!outcome.ok())
        return Reply<WBCountTable>({}, outcome);
    return Reply<WBCountTable>(std::move(counts), outcome);
}

Reply<bool> doneOf(const Reply<std::string>& answer)
{
    if (!answer.ok())
        return Reply<bool>(false, failedTransfer(answer));
    // Nothing to read in an empty answer of success, and nothing wrong with it either.
    if (answer.value.empty())
        return Reply<bool>(true, answer.outcome);
    const TransferOutcome outcome = outcomeOf(answer);
    return Reply<bool>(outcome.ok(), outcome);
}

} // namespace weibo
