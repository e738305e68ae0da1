#include "platform/PlatformResources.h"

#include <QtGlobal>

#include <mutex>

static void initPlatformResourceTable()
{
    Q_INIT_RESOURCE(platform);
}

namespace platform {

void ensurePlatformResources()
{
    static std::once_flag once;
    std::call_once(once, initPlatformResourceTable);
}

QString applicationIconPath()
{
    ensurePlatformResources();
    return QStringLiteral(":/icons/plumet.png");
}

} // namespace platform
