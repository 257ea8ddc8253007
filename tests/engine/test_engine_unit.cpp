// placeholder
#include <gtest/gtest.h>
TEST(EngineUnit, Builds) {}
