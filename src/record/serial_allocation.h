// The rule that hands out serial numbers, the same for every store: it runs inside the store's
// transaction, between reading the highest number at an address and writing the new row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "record/run_record.h"

// The number that follows `highest` (the highest recorded at the request's address, none when
// no row has one), in `next`; the problem, empty when there is a number to give.
std::string NextSerial(const SerialRequest& request, std::optional<int64_t> highest,
                       uint32_t& next);
