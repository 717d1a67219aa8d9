// The one bounded wait of the tests: looks at a condition until it holds or the time is up.
#pragma once

#include <functional>

// Polls `condition` every `pollMilliseconds` until it holds or `timeoutMilliseconds` have passed;
// whether it held, looked at once more at the end.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMilliseconds,
               int pollMilliseconds = 2);
