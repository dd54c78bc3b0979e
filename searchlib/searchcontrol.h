#pragma once

// C++ entry points beside the C interface, on the same library instance. They exist so
// that tests can search with periods far shorter than a second.

namespace galvorn::searchlib {

// QUARLO_SEARCH_StartAuto with the period in milliseconds (>= 2, so that each of the two
// probe rounds of a period has a distinct time).
int startAutoMilliseconds(int periodMilliseconds);

} // namespace galvorn::searchlib
