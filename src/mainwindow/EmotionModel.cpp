#include "mainwindow/EmotionModel.h"

EmotionModel::EmotionModel(const weibo::WBEmotion& emotion)
    : phrase(QString::fromStdString(emotion.phrase))
    , type(QString::fromStdString(emotion.type))
    , url(QString::fromStdString(emotion.url))
    , is_hot(emotion.is_hot)
    , is_common(emotion.is_common)
    , order_number(emotion.order_number)
    , category(QString::fromStdString(emotion.category))
{
    if (category.isEmpty())
        category = QStringLiteral("默认");
}

EmotionModel EmotionModel::emotionWithSharedWBEmotion(const boost::shared_ptr<weibo::WBEmotion>& emotion)
{
    return emotion ? EmotionModel(*emotion) : EmotionModel();
}
