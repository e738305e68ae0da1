#include "PlatformTestApp.h"

#include "platform/UserDefaults.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace platform;

namespace {

int modeOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return st.st_mode & 0777;
}

} // namespace

TEST(UserDefaults, ReadsFallBackToTheRegisteredDefaults)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Plumet.conf"));
    {
        UserDefaults defaults(path);
        ASSERT_TRUE(defaults.registerDefaultsFromResource());
        EXPECT_TRUE(defaults.boolForKey(QStringLiteral("UseGrowl")));
        for (const char* key : {"NewStatus", "NewComment", "NewAtme", "NewMessage"})
            EXPECT_TRUE(defaults.boolForKey(QString::fromLatin1(key))) << key;
        EXPECT_EQ(defaults.stringForKey(QStringLiteral("FontName")), QString());
        EXPECT_DOUBLE_EQ(defaults.doubleForKey(QStringLiteral("FontSize")), 12.0);
        EXPECT_EQ(defaults.stringForKey(QStringLiteral("WeiboHost")), QStringLiteral("http://127.0.0.1:8470"));
        EXPECT_EQ(defaults.stringForKey(QStringLiteral("Weibo2Host")), QStringLiteral("http://127.0.0.1:8470/2"));
        EXPECT_FALSE(defaults.stringForKey(QStringLiteral("WebHost")).isEmpty());
        EXPECT_FALSE(defaults.stringForKey(QStringLiteral("StaticImageHost")).isEmpty());
        // Keys without a default read as nothing.
        EXPECT_FALSE(defaults.objectForKey(QStringLiteral("LatestStatusId")).isValid());
        EXPECT_EQ(defaults.integerForKey(QStringLiteral("LatestStatusId")), 0);
        EXPECT_FALSE(defaults.hasStoredValue(QStringLiteral("UseGrowl")));

        defaults.setBool(false, QStringLiteral("UseGrowl"));
        defaults.setInteger(3456789012345678901LL, QStringLiteral("LatestStatusId"));
        QVariantMap account{{QStringLiteral("TokenKey"), QStringLiteral("tok")},
                            {QStringLiteral("SecretKey"), QStringLiteral("sec")}};
        defaults.setObject(QVariantMap{{QStringLiteral("1904178193"), account}}, QStringLiteral("OAuthTokens"));
        defaults.setDouble(14.5, QStringLiteral("FontSize"));
        EXPECT_FALSE(defaults.boolForKey(QStringLiteral("UseGrowl")));
    }
    {
        // A later run reads what was stored, with the types the callers ask for.
        UserDefaults defaults(path);
        defaults.registerDefaultsFromResource();
        EXPECT_FALSE(defaults.boolForKey(QStringLiteral("UseGrowl")));
        EXPECT_EQ(defaults.integerForKey(QStringLiteral("LatestStatusId")), 3456789012345678901LL);
        EXPECT_DOUBLE_EQ(defaults.doubleForKey(QStringLiteral("FontSize")), 14.5);
        const QVariantMap tokens = defaults.dictionaryForKey(QStringLiteral("OAuthTokens"));
        ASSERT_EQ(tokens.size(), 1);
        const QVariantMap account = tokens.value(QStringLiteral("1904178193")).toMap();
        EXPECT_EQ(account.value(QStringLiteral("TokenKey")).toString(), QStringLiteral("tok"));
        EXPECT_EQ(account.value(QStringLiteral("SecretKey")).toString(), QStringLiteral("sec"));

        // Removing a value brings its default back; removing the account store leaves no store.
        defaults.removeObjectForKey(QStringLiteral("UseGrowl"));
        EXPECT_TRUE(defaults.boolForKey(QStringLiteral("UseGrowl")));
        defaults.removeObjectForKey(QStringLiteral("OAuthTokens"));
        EXPECT_TRUE(defaults.dictionaryForKey(QStringLiteral("OAuthTokens")).isEmpty());
        EXPECT_TRUE(defaults.synchronize());
    }

    // A missing or unusable resource registers nothing.
    UserDefaults bare(dir.filePath(QStringLiteral("Other.conf")));
    EXPECT_FALSE(bare.registerDefaultsFromResource(QStringLiteral(":/no/such/UserDefaults.json")));
    QFile notObject(dir.filePath(QStringLiteral("list.json")));
    ASSERT_TRUE(notObject.open(QIODevice::WriteOnly));
    notObject.write("[1, 2]");
    notObject.close();
    EXPECT_FALSE(bare.registerDefaultsFromResource(notObject.fileName()));
    EXPECT_TRUE(bare.registeredDefaults().isEmpty());
    EXPECT_FALSE(bare.objectForKey(QStringLiteral("UseGrowl")).isValid());
}

TEST(UserDefaults, StoreIsReadableByItsOwnerOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/Plumet.conf"));
    UserDefaults defaults(path);
    // The file exists, tight, before the first secret reaches it.
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(modeOf(path), 0600);
    for (int i = 0; i < 5; ++i) {
        defaults.setObject(QVariantMap{{QStringLiteral("1"), QVariantMap{{QStringLiteral("TokenKey"), i}}}},
                           QStringLiteral("OAuthTokens"));
        EXPECT_EQ(modeOf(path), 0600) << "after write " << i;
    }
    defaults.removeObjectForKey(QStringLiteral("OAuthTokens"));
    EXPECT_EQ(modeOf(path), 0600);

    // A store left readable by others (an older run, a copy) is tightened when opened.
    const QString loose = dir.filePath(QStringLiteral("loose.conf"));
    QFile file(loose);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nFontName=Serif\n");
    file.close();
    ::chmod(QFile::encodeName(loose).constData(), 0644);
    defaults.reopen(loose);
    EXPECT_EQ(modeOf(loose), 0600);
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("FontName")), QStringLiteral("Serif"));

    // The application's own store lives under the settings folder as "Plumet/Plumet.conf" and is tight as well.
    UserDefaults& standard = UserDefaults::standard();
    EXPECT_EQ(QFileInfo(standard.fileName()).absoluteFilePath(),
              QFileInfo(PlatformTestApp::settingsFolder() + QStringLiteral("/Plumet/Plumet.conf")).absoluteFilePath());
    standard.setBool(true, QStringLiteral("NewStatus"));
    EXPECT_EQ(modeOf(standard.fileName()), 0600);
}
