#pragma once
// The records the lists keep, written back as the service's JSON: reading the text with the matching parser gives
// a record equal to the one written, field for field and nested records included.
//
// The text holds what the record holds and nothing more: keys the record does not read are gone, and a field that
// has its default (0, an empty text, false, a nested record of defaults) is left out, since an absent key reads as
// that default. Texts go out as the bytes they are, with only the quote, the backslash and the control characters
// escaped, so bytes that are not UTF-8 come back unchanged.
#include "model/WeiboParser.h"

#include <string>

namespace weibo {

std::string toJson(const WBUser& user);
std::string toJson(const WBStatus& status);
// The same with the status's own favourite flag given by the caller: the flag is the one field the main thread
// changes while a record is shared, so a writer on another thread takes the value read at hand-over instead.
std::string toJson(const WBStatus& status, bool favorited);
std::string toJson(const WBComment& comment);
std::string toJson(const WBMessage& message);

}  // namespace weibo
