#include "runtime/FaultInjection.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>

namespace FaultInjection {

namespace {

std::mutex lock;
std::map<std::string, Fault, std::less<>> chosenItems;

// Each fault has its own instruction, so the two count as different faults in crash reports.
[[gnu::noinline]] void WriteToUnmappedAddress() {
    // Page zero is never mapped; the address is not null, so sanitizers let the access through.
    volatile uintptr_t address = 16;  // not a constant, so the compiler does not reason about it
    *reinterpret_cast<volatile int*>(address) = 1;
}

[[gnu::noinline]] void ExecuteTrap() {
    __builtin_trap();
}

}  // namespace

void FaultAtItem(std::string itemKey, Fault fault) {
    std::lock_guard guard(lock);
    chosenItems[std::move(itemKey)] = fault;
}

void Clear() {
    std::lock_guard guard(lock);
    chosenItems.clear();
}

void AtItem(std::string_view itemKey) {
    Fault fault;
    {
        std::lock_guard guard(lock);
        auto chosen = chosenItems.find(itemKey);
        if (chosen == chosenItems.end()) {
            return;
        }
        fault = chosen->second;
    }
    Trigger(fault);
}

void Trigger(Fault fault) {
    if (fault == Fault::IllegalInstruction) {
        ExecuteTrap();
    } else {
        WriteToUnmappedAddress();
    }
    abort();  // not reached: the fault does not return
}

}  // namespace FaultInjection
