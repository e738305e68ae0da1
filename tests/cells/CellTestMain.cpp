// Registers the shared application object; gtest_main runs the tests.
#include "CellTestSupport.h"

static ::testing::Environment* const cellTestApp = ::testing::AddGlobalTestEnvironment(new CellTestApp);
