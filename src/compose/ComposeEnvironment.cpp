#include "compose/ComposeEnvironment.h"

namespace {

ComposeEnvironment::ClientProvider& clientProvider()
{
    static ComposeEnvironment::ClientProvider p;
    return p;
}
ComposeEnvironment::NamesProvider& namesProvider()
{
    static ComposeEnvironment::NamesProvider p;
    return p;
}
ComposeEnvironment::PickerProvider& pickerProvider()
{
    static ComposeEnvironment::PickerProvider p;
    return p;
}

} // namespace

void ComposeEnvironment::setClientProvider(ClientProvider provider) { clientProvider() = std::move(provider); }
void ComposeEnvironment::setNamesProvider(NamesProvider provider) { namesProvider() = std::move(provider); }
void ComposeEnvironment::setEmotionViewControllerProvider(PickerProvider provider)
{
    pickerProvider() = std::move(provider);
}

void ComposeEnvironment::clear()
{
    clientProvider() = nullptr;
    namesProvider() = nullptr;
    pickerProvider() = nullptr;
}

boost::shared_ptr<weibo::SinaWeibo> ComposeEnvironment::client()
{
    return clientProvider() ? clientProvider()() : boost::shared_ptr<weibo::SinaWeibo>();
}

QSet<QString> ComposeEnvironment::totalNames()
{
    return namesProvider() ? namesProvider()() : QSet<QString>();
}

EmotionViewController* ComposeEnvironment::emotionViewController()
{
    return pickerProvider() ? pickerProvider()() : nullptr;
}
