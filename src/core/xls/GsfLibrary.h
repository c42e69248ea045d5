#pragma once

namespace Xls {

// Initialises libgsf once per process, whichever thread gets there first.
void ensureGsfInitialized();

} // namespace Xls
