#pragma once
// What the editors ask of the application above them: the signed-in account's client, the names met in the
// timelines (completion candidates) and the one shared emotion picker. The application delegate installs the
// providers at start; tests install their own. Main thread.
#include "service/WeiboAPI.h"

#include <QSet>
#include <QString>

#include <boost/shared_ptr.hpp>

#include <functional>

class EmotionViewController;

class ComposeEnvironment {
public:
    using ClientProvider = std::function<boost::shared_ptr<weibo::SinaWeibo>()>;
    using NamesProvider = std::function<QSet<QString>()>;
    using PickerProvider = std::function<EmotionViewController*()>;

    static void setClientProvider(ClientProvider provider);
    static void setNamesProvider(NamesProvider provider);
    static void setEmotionViewControllerProvider(PickerProvider provider);
    // Forgets every provider (the application is going).
    static void clear();

    // None, the empty set and none when nothing is installed.
    static boost::shared_ptr<weibo::SinaWeibo> client();
    static QSet<QString> totalNames();
    static EmotionViewController* emotionViewController();
};
