#pragma once
// Item text for places that show no pictures: desktop notifications and the clipboard.
#include <QString>

class HotTextResources;

// The service's old emoji code points (the private-use ones of isHotTextEmoji) replaced by the standard emoji they
// stand for; a code point without one stays as it is.
QString withStandardEmoji(const QString& text);

// The text of an item as a notification shows it: an emotion code of the catalogue ("[哈哈]", or its traditional
// form) becomes the emotion's name, old emoji become standard ones; everything else stays.
QString announcementText(const QString& text, const HotTextResources& resources);
