#pragma once

#include "model/WeiboParser.h"

#include <QString>

#include <boost/shared_ptr.hpp>

// One entry of the service's emotion catalogue, as the picker and the item text use it. The texts are the
// record's UTF-8 made QString; an entry without a category is filed under "默认".
class EmotionModel {
public:
    EmotionModel() = default;
    explicit EmotionModel(const weibo::WBEmotion& emotion);
    static EmotionModel emotionWithSharedWBEmotion(const boost::shared_ptr<weibo::WBEmotion>& emotion);

    QString phrase;
    QString type;
    QString url;
    bool is_hot = false;
    bool is_common = false;
    qint64 order_number = 0;
    QString category;
};
