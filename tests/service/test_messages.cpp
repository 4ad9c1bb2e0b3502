// Message texts, argument-error reports, the hook slots and the fatal stops.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "service/error.h"
#include "service/messages.h"
#include "service/platform.h"
#include "tests/lapack/error_text.h"

namespace ztr {
namespace {

// The message by info; the name cut to its length (at most twenty characters), which needs no
// terminator.
TEST(Xerbla, ChoosesTheMessageByInfoAndCutsTheName) {
  const char name[25] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M',
                         'N', 'O', 'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y'};
  const struct {
    const char* name;
    int length, info;
    const char* want;
  } rows[] = {
      {"DGEMM ", 6, 3, "ZTR ERROR: Parameter 3 was incorrect on entry to DGEMM ."},
      {"DGETRF", 6, 0, "ZTR INTERNAL ERROR: Condition 0 detected in function DGETRF."},
      {"DGETRF", 6, -3, "ZTR INTERNAL ERROR: Condition 3 detected in function DGETRF."},
      {"DSYEVD", 6, 1000, "ZTR INTERNAL ERROR: Not enough work memory in function DSYEVD."},
      {"DSYEVD", 6, 1001, "ZTR ERROR: Incompatible optional parameters on entry to DSYEVD."},
      {"CARD", 4, 1212, "ZTR INTERNAL ERROR: Problem with reading from card CARD."},
      {"gemm", 4, 1089, "ZTR INTERNAL ERROR: Not enough work memory in function gemm"},  // no stop
      {"X", 1, 1002, "ZTR ERROR: Parameter 1002 was incorrect on entry to X."},
      {name, 25, 2, "ZTR ERROR: Parameter 2 was incorrect on entry to ABCDEFGHIJKLMNOPQRST."},
      {"DGEMMXYZ", 5, 1, "ZTR ERROR: Parameter 1 was incorrect on entry to DGEMM."},
  };
  for (auto r : rows)
    EXPECT_EQ(test::captured([&] { xerbla(r.name, &r.info, r.length); }),
              std::string("\n") + r.want + "\n");
}

TEST(Messages, TextAndPrint) {
  EXPECT_STREQ(msg_text(0, 0), "");
  EXPECT_STREQ(msg_text(kMsgCpuNotSupported, 0), "ZTR ERROR: CPU %d is not supported.");
  EXPECT_EQ(test::captured([] { msg_print(0, 0); }), "\n");
  EXPECT_EQ(test::captured([] { msg_print(kMsgNoSse2, 0), msg_print(kMsgNoSse2Detail, 0); }),
            "ZTR FATAL ERROR: This system does not meet the minimum requirements for use of the "
            "Orvan(R) Calvenor.\n"
            "The system processor must support the Orvan(R) Streaming SIMD 2 Extensions "
            "(Orvan(R) SSE2) instructions.\n");
}

// Hook slots start empty and are filled once; what they hold decides how reports go.
ZTR_CHILD(hook_slots) {
  int step = 5, thread = 0;
  if (error_handler_slot() != nullptr || progress_hook_slot() != nullptr) return 1;
  if (progress_call(&thread, &step, "stage", 5) != 0) return 2;
  install_default_xerbla();
  install_default_progress();
  if (error_handler_slot() != &xerbla) return 3;
  if (progress_hook_slot() == nullptr || progress_call(&thread, &step, "stage", 5) != 0) return 4;
  // alloc_check is silent for a pointer, reports 1089 (cut to 20 characters) for null.
  int dummy = 0;
  if (alloc_check(&dummy, "never printed") != 0) return 5;
  if (alloc_check(nullptr, "a_routine_name_longer_than_twenty") != 1) return 6;
  const int info = 4;
  xerbla_dispatch("DGETRI", &info, 6);
  return 0;
}

TEST(Hooks, SlotsFillOnceAndReportsGoThroughThem) {
  auto r = test::run_child("hook_slots");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(r.out,
            "\nZTR INTERNAL ERROR: Not enough work memory in function a_routine_name_longe\n"
            "\nZTR ERROR: Parameter 4 was incorrect on entry to DGETRI.\n");
}

ZTR_CHILD(message_overflow) {
  msg_print(kMsgAllocFailed, 1, std::string(599, 'x').c_str());
  return 0;  // not reached
}

ZTR_CHILD(fatal_cpu_type) {
  std::printf("before");  // buffered output is flushed by the message, not lost
  fatal_unsupported_cpu_type(9);
}

TEST(FatalStops, MessagesAndExitCodes) {
  auto overflow = test::run_child("message_overflow");
  EXPECT_EQ(overflow.exit_code, 8);
  // The name plus the text of message 1089 around its %s.
  const int length = 599 + static_cast<int>(std::strlen(message_table_text(kMsgAllocFailed))) - 2;
  EXPECT_EQ(overflow.out,
            "\nZTR INTERNAL ERROR: message buffer overflow.\n       Message N 1089   Lenght: " +
                std::to_string(length) + "   Buffer size: 512\n");

  auto cpu = test::run_child("fatal_cpu_type");
  EXPECT_EQ(cpu.exit_code, 1);
  EXPECT_EQ(cpu.out, "beforeZTR ERROR: CPU 9 is not supported.\n");
}

}  // namespace
}  // namespace ztr
