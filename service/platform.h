// Seams between the library and the machine it runs on.
//
// Everything the runtime services learn from the operating system or the processor goes
// through this table of function pointers, so that tests can present another processor,
// another environment or another topology, and can intercept process termination.  The
// defaults talk to the real machine.  Tests replace entries before the first call that
// needs them; the library only reads the table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ztr {

struct CpuidRegs {
  std::uint32_t eax, ebx, ecx, edx;
};

struct Platform {
  // The process environment; null for an absent variable.
  const char* (*getenv)(const char* name);
  // Whether the CPUID instruction exists (the EFLAGS ID bit can be toggled).
  bool (*has_cpuid)();
  CpuidRegs (*cpuid)(std::uint32_t leaf, std::uint32_t subleaf);
  // XGETBV; only called when CPUID reports that the OS saves extended state.
  std::uint64_t (*xgetbv)(std::uint32_t index);
  // Number of processors the OpenMP runtime sees.
  int (*num_procs)();
  // True when the process may run on every online processor.
  bool (*affinity_unrestricted)();
  // Package and core identifiers of logical processor `cpu`; false when unknown.
  bool (*cpu_ids)(int cpu, int* package_id, int* core_id);
  // Ends the process at once, without exit handlers.
  void (*exit_now)(int code);
  // Ends the process through the C runtime's exit (exit handlers run).
  void (*exit_process)(int code);
  // Monotonic clock in seconds.
  double (*clock_seconds)();
  // Asks the system to back [p, p + bytes) with pages now, as writes would, keeping the
  // contents; for a large block the caller is about to fill, one request instead of a fault
  // per page.  False when the system cannot (the pages then come at first touch).
  bool (*prefault)(void* p, std::size_t bytes);
};

// The table in force.  Mutable for tests only.
Platform& platform();
// The table the library starts with.
const Platform& default_platform();

// Process termination through the seams.  Should a replaced seam return, the process is
// aborted: these calls never return to the code that asked for them.
[[noreturn]] void terminate_now(int code);
[[noreturn]] void terminate_process(int code);

}  // namespace ztr
