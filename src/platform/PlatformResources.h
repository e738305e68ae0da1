#pragma once
// The library's compiled-in resources (":/UserDefaults.json", ":/icons/plumet.png"). The library is static, so
// its resource table is registered by hand before the first lookup.
#include <QString>

namespace platform {

void ensurePlatformResources();
// The application icon's resource path.
QString applicationIconPath();

} // namespace platform
