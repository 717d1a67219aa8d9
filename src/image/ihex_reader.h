// The Intel HEX reader: turns the text of an Intel HEX file into data pieces.
#pragma once

#include <cstddef>

#include "image/data_piece.h"

// Reads data (00), end of file (01), extended segment address (02) and extended linear address
// (04) records; start addresses (03, 05) are read and left aside. The text is refused, naming its
// line ("line <n>: <what failed>: <why>"), for a line that is not a well-formed record, a checksum
// that does not add up, a record type outside 00 to 05, a record after the end-of-file record,
// data that runs past the 64 KiB its address field reaches, data outside the user MAT, or
// records without an end-of-file record after them (the file's last record is named). Empty
// lines, and lines that are not records after the end of file, are passed over. LF, CR LF and a
// lone CR each end a line. Each data record with bytes gives one piece, named by its line.
PieceRead ReadIntelHex(const char* text, std::size_t size);
