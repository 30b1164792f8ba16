// linetilt: tilts the selected straight lines of the host's exchange file.
#include <csignal>

#include "exchange/attributes.h"
#include "exchange/reader.h"
#include "common/files.h"
#include "run/sequence.h"
#include "common/state.h"

int main(int, char** argv)
{
    keepStandardStreams();
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);  // a write beyond a file size limit fails, and says so as any failed write
#endif
    PAI = 3.141592653589793;
    readSwitches(argv);
    takeOverExchangeFile();
    unsigned int jd_xmax = countRecords();
    openOutputFile();
    refuseOverLimit(jd_xmax);
    openExchangeFile();
    QX_PATTERN(jd_xmax, RECORD_LIMIT);
    endOfRunTraces(jd_xmax);
    IniZokusei();
    closeRunFiles();
    copyBack();
    return 0;
}
