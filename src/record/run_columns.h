// The columns of the table runs, in the order that every store selects them, and the one
// column whose text form is the record's own.
#pragma once

#include <cstdint>
#include <string>

// The SELECT list, in the order of RunRecord's fields.
extern const char kRunColumns[];

// image_sum as the table holds it: 0x%08X.
std::string ImageSumText(uint32_t sum);
// Its value; 0 for text that is not of that form.
uint32_t ImageSumValue(const std::string& text);
