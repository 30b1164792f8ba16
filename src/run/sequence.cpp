// The run sequence's steps between the switches and the copy back.
#include "run/sequence.h"

#include <cstdio>
#include <cstdlib>

#include "output/stream.h"
#include "common/files.h"
#include "run/opt.h"
#include "common/state.h"
#include "run/tcopy.h"
#include "common/textfile.h"

void readSwitches(char** argv)
{
    // A program can be started with no arguments at all, not even its name.
    for (char** arg = argv[0] ? argv + 1 : argv; *arg; ++arg)
        if ((*arg)[0] == '-' || (*arg)[0] == '/')
            opt(*arg);
    if (isTest == 2)
        std::printf("\n\n#### debug #### Cmd-Option read\n");
}

// A later rename of the take-over failed, `target` its target: the host's records go back
// from `name` to the name the host reads back. If that fails too, a second message says so
// and they stay under `name`.
[[noreturn]] static void putBack(const char* name, const char* target)
{
    sayCannotOpen(target);
    if (!replaceFile(name, HOST_FILE))
        sayCannotOpen(HOST_FILE);
    std::exit(-1);
}

void takeOverExchangeFile()
{
    // When the first rename fails, a "QXC_TEMP.TXT" left in place is the exchange file.
    // Once it has succeeded, an older "QXC_TEMP.TXT" is never taken for the host's records.
    // Each step replaces a name a killed run may have left behind, which would otherwise
    // stand in for the host's file on Windows.
    if (replaceFile(HOST_FILE, FIRST_STEP)) {
        if (!replaceFile(FIRST_STEP, SECOND_STEP))
            putBack(FIRST_STEP, SECOND_STEP);
        if (!replaceFile(SECOND_STEP, EXCHANGE_FILE))
            putBack(SECOND_STEP, EXCHANGE_FILE);
    }
}

unsigned int countRecords()
{
    unsigned int count = Tcopy(EXCHANGE_FILE, WORK_FILE);
    if (isTest == 2)
        std::printf("#  copyed to QXC_TEMP.$$$ \n");
    return count;
}

void openOutputFile()
{
    fpw = createFresh(WORK_FILE);
    if (!fpw)
        cannotOpen(WORK_FILE, 1);
    // Written in large blocks already, by the text stream.
    std::setvbuf(fpw, nullptr, _IONBF, 0);
}

void refuseOverLimit(unsigned int jd_xmax)
{
    if (jd_xmax <= RECORD_LIMIT)
        return;
    // "he", then "the number of elements is over" in Shift_JIS, as the host shows it.
    put("he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5B\x83\x6F\x81\x5B    MAX=");
    putUnsigned(RECORD_LIMIT);
    put("\n");
    if (!closeText(fpw))
        cannotWrite(WORK_FILE);
    std::exit(1);
}

void openExchangeFile()
{
    fp = openRead(EXCHANGE_FILE);
    if (!fp) {
        closeText(fpw);
        cannotOpen(EXCHANGE_FILE, 1);
    }
}

void endOfRunTraces(unsigned int jd_xmax)
{
    if (isTest == 3) {
        std::printf("# ------------------ main() Pattern1 end file closing ------------------ \n");
        std::printf("# jd_xmax= %d stepcnt= %d Error(%d)\n", static_cast<int>(jd_xmax), stepcnt, 0);
    }
    if (isTest == 1) {
        put("# ------------------ main() Pattern1 end file closing ------------------ \n");
        put("#    jd_xmax= ");
        putInt(static_cast<int>(jd_xmax));
        put(" stepcnt= ");
        putInt(stepcnt);
        put(" \n");
    }
}

void closeRunFiles()
{
    std::fclose(fp);  // read to its end: its close changes nothing the host gets
    if (!closeText(fpw))
        cannotWrite(WORK_FILE);  // a full disk; see cannotWrite
}

void copyBack()
{
    if (isTest != 0)
        return;
    // When either fails, the host's records stay where they are and the output in the
    // output work file.
    std::FILE* output = openRead(WORK_FILE);
    if (!output)
        cannotOpen(WORK_FILE, -1);
    std::fclose(output);
    // A rename, not a copy: the host finds either its own records or the whole output. A
    // rename would replace an exchange file that cannot be written; a copy could not.
    if (!writable(EXCHANGE_FILE) || !replaceFile(WORK_FILE, EXCHANGE_FILE))
        cannotOpen(EXCHANGE_FILE, -1);
}
