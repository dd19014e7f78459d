#pragma once
#include "driver/driver_instance.h"

namespace kmqx {

// Every open instance, oldest first, so that DRV_FREE can release what the
// host never closed. Process-wide: one per loaded library.
struct InstanceNode {
    DriverInstance* instance;
    InstanceNode* next;
    InstanceNode* prev;
};

void RegistryReset();
// Appends the instance; false when no node could be allocated (the instance
// then simply stays unregistered).
bool RegistryAdd(DriverInstance* instance);
void RegistryRemove(DriverInstance* instance);
// Releases every registered instance, newest first, and empties the registry.
void RegistryReleaseAll();

// For tests: the registered instances, oldest first (up to capacity), and
// their total count.
int RegistryList(DriverInstance** out, int capacity);

}  // namespace kmqx
