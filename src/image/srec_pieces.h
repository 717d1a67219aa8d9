// Between data pieces and S-records: the pieces an S-record reader holds, and S3 lines that carry
// pieces into one, so that every format reaches the flash as S-records do.
#pragma once

#include <string>
#include <vector>

#include "image/data_piece.h"

class SRECReader;

// Each S1, S2 or S3 record with data as one piece, named by its line.
std::vector<DataPiece> PiecesOf(const SRECReader& reader);

// S3 lines of up to 32 data bytes that hold the pieces' bytes at their addresses, in the pieces'
// order, for SRECReader::ParseLines.
std::vector<std::string> S3Lines(const std::vector<DataPiece>& pieces);
