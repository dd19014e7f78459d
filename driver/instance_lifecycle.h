#pragma once
#include "driver/codec_factory.h"
#include "driver/driver_instance.h"

namespace kmqx {

// DRV_OPEN with open parameters: a new registered instance in the shape the
// open mode asks for, or null (dwError says why, except for a wrong type).
DriverInstance* OpenInstance(ICOPEN* open);
// The same with the codec objects taken from the given factory.
DriverInstance* OpenInstance(ICOPEN* open, const CodecFactory& factory);

// DRV_CLOSE: unregisters and releases; a null instance does nothing.
void CloseInstance(DriverInstance* instance);

// Ends running sequences, destroys the codec objects, frees the record.
void ReleaseInstance(DriverInstance* instance);

}  // namespace kmqx
