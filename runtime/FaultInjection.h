#pragma once
// Test builds only (TVK_TEST_HOOKS): makes a real processor fault happen inside the processing of a
// chosen item, so that tests can show what the per-item guard does. GuardItem calls AtItem first
// thing inside its guarded region.

#ifndef TVK_TEST_HOOKS
#error "FaultInjection is only part of test builds"
#endif

#include <string>
#include <string_view>

namespace FaultInjection {

enum class Fault {
    InvalidAccess,       // a write to an unmapped address: SIGSEGV
    IllegalInstruction,  // a trap instruction: SIGILL
};

// Every later item whose key is `itemKey` faults as asked, until Clear().
void FaultAtItem(std::string itemKey, Fault fault = Fault::InvalidAccess);
void Clear();

// Faults now when `itemKey` was chosen; else does nothing.
void AtItem(std::string_view itemKey);

// Faults now, unconditionally: for tests of guards and of the unhandled path.
[[noreturn]] void Trigger(Fault fault);

}  // namespace FaultInjection
