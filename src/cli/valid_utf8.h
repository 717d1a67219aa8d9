// Text that is valid UTF-8 whatever bytes it came from, for output that promises UTF-8 (--json).
#pragma once

#include <string>

// `bytes` with every byte that does not belong to a well-formed UTF-8 sequence (a stray
// continuation, a cut or overlong sequence, a surrogate, beyond U+10FFFF) replaced by U+FFFD.
std::string ValidUtf8(const std::string& bytes);
