#pragma once

namespace galvorn {

// Registers the fixed-width integer type names for queued signals between threads.
// Must run before the first worker thread posts a queued call.
void registerMetaTypes();

} // namespace galvorn
