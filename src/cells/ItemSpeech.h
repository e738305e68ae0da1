#pragma once
// What a screen reader says for one list item, as a person would read the row out: who, what (emotions by their
// names, links as their text, a picture or video named), when, and the counts, in the order the row shows them.
#include <QString>

class HotTextResources;
class TimelineCellBase;

QString spokenTextOfItem(TimelineCellBase& cell, const HotTextResources& resources);
