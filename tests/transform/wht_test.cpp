#include <gtest/gtest.h>
#include "transform/wht.h"
TEST(Placeholder, Builds) { SUCCEED(); }
