// The hot paths in the process: reading and dispatching records, and writing line records.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "exchange_files.h"
#include "exchange/reader.h"
#include "output/records.h"
#include "common/state.h"
#include "common/textfile.h"

static void ReadAndDispatch(benchmark::State& state)
{
    const int records = static_cast<int>(state.range(0));
    std::string input = exchangeFile(records);
    PAI = 3.141592653589793;
    std::FILE* in = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    fpw = std::fopen("/dev/null", "wb");
    for (auto _ : state) {
        std::rewind(in);
        fp = in;
        iPOINTcnt = 0;  // every pass reads the one indicated point anew
        QX_PATTERN(records, records);
    }
    closeText(fpw);
    std::fclose(in);
    state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(ReadAndDispatch)->Arg(10000)->Unit(benchmark::kMillisecond);

static void WriteLineRecords(benchmark::State& state)
{
    fpw = std::fopen("/dev/null", "wb");
    double x = 0.1;
    for (auto _ : state) {
        Sen(x, -1234.56789, 4321.0 + x, 98.480775301221);
        x += 0.37;
    }
    closeText(fpw);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(WriteLineRecords);

BENCHMARK_MAIN();
