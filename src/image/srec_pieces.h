// S3 lines that carry data pieces into an S-record reader, so that every format reaches the flash
// as S-records do.
#pragma once

#include <string>
#include <vector>

#include "image/data_piece.h"

// S3 lines of up to 32 data bytes that hold the pieces' bytes at their addresses, in the pieces'
// order, for SRECReader::ParseLines.
std::vector<std::string> S3Lines(const std::vector<DataPiece>& pieces);
