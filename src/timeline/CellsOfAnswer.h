#pragma once
// The cell data objects of an answer: one per record, in the answer's order, of the kind the list shows.
#include "cells/CellTypes.h"
#include "service/Reply.h"

#include <cstddef>
#include <string>

class CellListController;

// Records read as statuses (cell type 1), comments (2), favourites (3) or messages (4), at most `limit` of them (the
// newest), each cell belonging to `owner`; the answer's outcome with them (none for a failed or unusable answer).
weibo::Reply<CellArray> cellsOfAnswer(const weibo::Reply<std::string>& answer, int cellType, std::size_t limit,
                                      CellListController* owner);
