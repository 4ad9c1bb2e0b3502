#include <gtest/gtest.h>

#include "tests/support/child.h"

int main(int argc, char** argv) {
  ztr::test::maybe_run_child(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
