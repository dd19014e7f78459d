#include "driver/instance_registry.h"

#include "driver/instance_lifecycle.h"
#include "platform/process_lock.h"

namespace kmqx {
namespace {

// Hosts open and close instances from several threads (one per graph or
// file); every walk and change of the list holds the lock.
ProcessLock registryLock;
InstanceNode sentinel;
InstanceNode* tail = &sentinel;

void ResetLocked() {
    sentinel = InstanceNode{};
    tail = &sentinel;
}

}  // namespace

void RegistryReset() {
    ProcessLockGuard guard(registryLock);
    ResetLocked();
}

bool RegistryAdd(DriverInstance* instance) {
    auto* node = static_cast<InstanceNode*>(LocalAlloc(LPTR, sizeof(InstanceNode)));
    if (!node) return false;
    ProcessLockGuard guard(registryLock);
    tail->next = node;
    node->instance = instance;
    node->prev = tail;
    tail = node;
    return true;
}

void RegistryRemove(DriverInstance* instance) {
    if (!instance) return;
    ProcessLockGuard guard(registryLock);
    for (InstanceNode* node = sentinel.next; node; node = node->next) {
        if (node->instance != instance) continue;
        node->prev->next = node->next;
        if (node->next)
            node->next->prev = node->prev;
        else
            tail = node->prev;
        LocalFree(node);
        return;
    }
}

void RegistryReleaseAll() {
    // Walk from the newest back to the oldest, without recursion, so that a
    // long list cannot exhaust the stack.
    ProcessLockGuard guard(registryLock);
    InstanceNode* node = tail;
    while (node != &sentinel) {
        InstanceNode* previous = node->prev;
        ReleaseInstance(node->instance);
        LocalFree(node);
        node = previous;
    }
    ResetLocked();
}

int RegistryList(DriverInstance** out, int capacity) {
    ProcessLockGuard guard(registryLock);
    int count = 0;
    for (InstanceNode* node = sentinel.next; node; node = node->next) {
        if (count < capacity) out[count] = node->instance;
        ++count;
    }
    return count;
}

}  // namespace kmqx
