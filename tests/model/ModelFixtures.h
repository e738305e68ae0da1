#pragma once
// The answers under tests/data/model, read whole.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

inline std::string fixture(const std::string& name) {
    std::ifstream in(std::string(PLUMET_TEST_DATA) + "/model/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}
