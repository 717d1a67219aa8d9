// How fast the S-record reader parses a firmware file of a few MiB.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "image/srec_reader.h"
#include "image/user_mat.h"

namespace {

const std::size_t kTextBytes = 4 * 1024 * 1024;

// S3 lines with 32 data bytes each, as a large firmware file holds them, with valid checksums. The
// addresses start again at 0 at the end of the user MAT, since the reader refuses data beyond it.
std::string MakeS3Text(const char* lineBreak) {
    std::string text;
    text.reserve(kTextBytes + 128);
    uint32_t address = 0;
    unsigned seed = 1;
    while (text.size() < kTextBytes) {
        char line[96];
        int length = std::snprintf(line, sizeof(line), "S325%08X", static_cast<unsigned>(address));
        unsigned sum = 0x25 + (address >> 24) + (address >> 16 & 0xFF) + (address >> 8 & 0xFF) +
                       (address & 0xFF);
        for (int i = 0; i < 32; ++i) {
            seed = seed * 1103515245 + 12345;
            const unsigned byte = seed >> 16 & 0xFF;
            sum += byte;
            length += std::snprintf(line + length, sizeof(line) - length, "%02X", byte);
        }
        std::snprintf(line + length, sizeof(line) - length, "%02X", ~sum & 0xFF);
        text += line;
        text += lineBreak;
        address = (address + 32) % kUserMatBytes;
    }
    return text;
}

void ParseS3Text(benchmark::State& state, const char* lineBreak) {
    const std::string text = MakeS3Text(lineBreak);
    SRECReader reader;
    for (auto _ : state) {
        if (!reader.Parse(text.data(), static_cast<int>(text.size()))) {
            state.SkipWithError("parse failed");
            break;
        }
        benchmark::DoNotOptimize(reader.GetRecordCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["records"] = reader.GetRecordCount();
}

void BM_ParseS3Lf(benchmark::State& state) {
    ParseS3Text(state, "\n");
}
void BM_ParseS3CrLf(benchmark::State& state) {
    ParseS3Text(state, "\r\n");
}

BENCHMARK(BM_ParseS3Lf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseS3CrLf)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
