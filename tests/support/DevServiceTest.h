#pragma once
// A test suite whose tests share one development service, started before the first test and ended after the last.
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace testsupport {

class DevServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service_ = new DevService; }
    static void TearDownTestSuite()
    {
        delete service_;
        service_ = nullptr;
    }
    // Fails the test when the service did not start; a suite's own SetUp returns on HasFatalFailure().
    void SetUp() override
    {
        ASSERT_TRUE(service_->isRunning()) << "the development service did not start: " << service_->error().toStdString();
    }

    static inline DevService* service_ = nullptr;
};

} // namespace testsupport
