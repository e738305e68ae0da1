#pragma once

#include <memory>
#include <vector>

class TimelineCellBase;
class TimelineCellStatus;
class TimelineCellFavorite;
class TimelineCellComment;
class TimelineCellMessage;
class TimelineCellMessageGroup;

// Cell data objects are shared: a list's array is immutable and replaced whole, and a message cell may sit
// both in a conversation group and in the chat list. Every cell is made with std::make_shared, so that loads
// that end after the cell is gone find it gone.
using CellPtr = std::shared_ptr<TimelineCellBase>;
using CellArray = std::vector<CellPtr>;
using StatusCellPtr = std::shared_ptr<TimelineCellStatus>;
using CommentCellPtr = std::shared_ptr<TimelineCellComment>;
using MessageCellPtr = std::shared_ptr<TimelineCellMessage>;
using MessageCellArray = std::vector<MessageCellPtr>;
using MessageGroupCellPtr = std::shared_ptr<TimelineCellMessageGroup>;
