// libFuzzer target: arbitrary switches and an arbitrary exchange file through a whole run,
// from the switch parser to the restore records, in the process. Leading lines that begin
// with "/" are switches; the rest is the exchange file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "exchange/attributes.h"
#include "exchange/reader.h"
#include "common/files.h"
#include "run/opt.h"
#include "run/sequence.h"
#include "common/state.h"
#include "common/textfile.h"

namespace {

auto runState()
{
    return std::tie(ANGLE, isTest, Amp, iBOKE, iGRAY, iDivN, exiro, exsyu, iPEN1, iPEN2, iMode, isNUM, iOFFSET,
                    isSunpo, iMOJI_w, stepcnt, ILINEx1, ILINEy1, ILINEx2, ILINEy2, HPOINTx, HPOINTy, iPOINT,
                    iPOINTcnt, COLOR, TYPE, LAYER, GROUP, TENS, MOJIS, MOJI_W, MOJI_H, MOJI_D, MOJI_C, COLORi,
                    TYPEi, LAYERi, GROUPi, TENSi, MOJISi, MOJIWi, MOJIHi, MOJIDi, MOJICi);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Each input starts from the state the tool starts with.
    static const auto start = std::make_tuple(runState());
    static const std::vector<double> startPoints(std::begin(PX), std::end(PX));
    runState() = std::get<0>(start);
    std::copy(startPoints.begin(), startPoints.end(), PX);
    std::copy(startPoints.begin(), startPoints.end(), PY);
    PAI = 3.141592653589793;

    std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    for (int n = 0; n < 8 && at < input.size() && input[at] == '/'; ++n) {
        std::size_t lf = input.find('\n', at);
        std::string argument = input.substr(at, lf == std::string::npos ? std::string::npos : lf - at);
        opt(argument.data());
        at = lf == std::string::npos ? input.size() : lf + 1;
    }

    fp = std::tmpfile();
    fpw = std::tmpfile();
    std::fwrite(input.data() + at, 1, input.size() - at, fp);
    std::rewind(fp);
    unsigned int records = 0, counted = 0;
    for (std::size_t i = at; i < input.size(); ++i)
        records += input[i] == '\n' || i + 1 == input.size();
    // The count, taken in blocks, must come to the records the reader then reads one by one.
    ReadResult count = countRecords(fp, RECORD_LIMIT + 1, &counted);
    if ((count != RECORD && count != END_OF_FILE) || counted != std::min(records, RECORD_LIMIT + 1))
        __builtin_trap();
    std::rewind(fp);
    QX_PATTERN(records, RECORD_LIMIT);
    endOfRunTraces(records);
    IniZokusei();
    std::fclose(fp);
    closeText(fpw);
    return 0;
}
