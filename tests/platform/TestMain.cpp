// Registers the shared application object; gtest_main runs the tests.
#include "PlatformTestApp.h"

static ::testing::Environment* const platformTestApp = ::testing::AddGlobalTestEnvironment(new PlatformTestApp);
