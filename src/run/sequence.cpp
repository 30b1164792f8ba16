// The run sequence's steps between the switches and the copy back.
#include "run/sequence.h"

#include <cstdio>
#include <cstdlib>

#include "output/stream.h"
#include "common/files.h"
#include "common/held.h"
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

namespace {

// The names the host's records pass through on their way to the working name.
const char* const ROAD[] = {HOST_FILE, FIRST_STEP, SECOND_STEP, EXCHANGE_FILE};
constexpr int ROAD_STEPS = 3;

// "Cannot open file: " the file that failed the step, and whether another program holds it.
void sayWhyNot(const char* name, const char* other)
{
    if (gaveUpOnHeld() && heldByAnother(other) && !heldByAnother(name))
        name = other;
    sayCannotOpen(name);
}

// The host's records, copied beside under a name of the tool's own, then moved in whole
// under the host's name where nothing has appeared meanwhile: the host never finds a part.
bool copyToHost(const char* records)
{
    if (kindOf(HOST_FILE, false) != ABSENT || !copyFile(records, COPY_FILE))
        return false;
    if (moveFile(COPY_FILE, HOST_FILE))
        return true;
    std::remove(COPY_FILE);
    return false;
}

// A step of the take-over failed, `failed` the file named for it, with the host's records
// under `records`: they go back under the host's name, by a rename, or by a copy where
// another program holds the file against renaming (a copy needs only to read it). Never
// over a "qxc_temp.txt" that has appeared meanwhile: then, or when the copy fails too,
// the message names the file that holds them.
[[noreturn]] void giveBack(const char* records, const char* failed)
{
    sayWhyNot(failed, records);
    if (records != HOST_FILE && !moveFile(records, HOST_FILE) && !copyToHost(records) &&
        kindOf(records, false) == REGULAR_FILE)
        sayKept(records);
    std::exit(-1);
}

// A renaming name taken when the run starts holds what an earlier run left there: the host's
// records, when that run was stopped or could not give them back. They are kept under a
// name of their own, never replaced; when that fails the run ends, `records` given back.
// A link is none of the tool's, and a rename replaces the link, not what it leads to.
// False when something other than a file or a link stands there.
bool keepLeftover(const char* name, const char* records)
{
    NameKind kind = kindOf(name, false);
    if (kind == ABSENT || kind == A_LINK)
        return true;
    if (kind == OTHER_KIND)
        return false;
    for (int n = 1; n <= MOST_KEPT; ++n) {
        char kept[16];
        std::snprintf(kept, sizeof kept, KEEP_FORMAT, n);
        if (kindOf(kept, false) != ABSENT)
            continue;
        if (moveFile(name, kept))
            return true;
        if (kindOf(kept, false) == ABSENT)
            break;  // not taken meanwhile: refused for another reason
    }
    giveBack(records, name);
}

}  // namespace

void takeOverExchangeFile()
{
    // The host's records are under its own name or, where there is nothing, under the first
    // renaming name that holds a file an earlier run left. With none, the run goes on with
    // whatever is named "QXC_TEMP.TXT".
    NameKind host = kindOf(HOST_FILE, true);
    if (host == OTHER_KIND)
        cannotOpen(EXCHANGE_FILE, -1);  // not a file: refused where it stands
    int start = 0;
    if (host == ABSENT)
        for (start = 1; start < ROAD_STEPS && kindOf(ROAD[start], false) != REGULAR_FILE;)
            ++start;
    if (start == ROAD_STEPS)
        return;
    const char* records = ROAD[start];
    // Where names do not depend on case, the host's name is the working name.
    bool oneName = start == 0 && sameFile(HOST_FILE, EXCHANGE_FILE);
    for (int later = start + 1; later < ROAD_STEPS; ++later)
        if (!keepLeftover(ROAD[later], records)) {
            if (oneName)
                return;  // the host's file is "QXC_TEMP.TXT" already
            giveBack(records, ROAD[later]);
        }
    if (kindOf(EXCHANGE_FILE, true) == OTHER_KIND)
        giveBack(records, EXCHANGE_FILE);
    // Only an older file under a working name of its own is replaced: where it is the host's
    // name, a file there now is one the host has written meanwhile.
    bool older = !oneName && kindOf(EXCHANGE_FILE, false) != ABSENT;
    for (int step = start; step < ROAD_STEPS; ++step) {
        const char* to = ROAD[step + 1];
        if (!(step + 1 < ROAD_STEPS || older ? replaceFile(ROAD[step], to) : moveFile(ROAD[step], to)))
            giveBack(ROAD[step], step == 0 ? HOST_FILE : to);
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
    // A rename, not a copy over the exchange file: the host finds either its own records or
    // the whole output. A rename would replace an exchange file that cannot be written; a
    // copy could not.
    if (!writable(EXCHANGE_FILE)) {
        sayCannotOpen(EXCHANGE_FILE);
        std::exit(-1);
    }
    if (replaceOnce(WORK_FILE, EXCHANGE_FILE))
        return;
    // A program that holds the output work file (a scan of the file just closed, an
    // indexer) holds no copy of it: the copy is renamed in its place.
    const char* result = WORK_FILE;
    if (heldByAnother(WORK_FILE) && copyFile(WORK_FILE, COPY_FILE))
        result = COPY_FILE;
    if (replaceFile(result, EXCHANGE_FILE)) {
        if (result == COPY_FILE)
            std::remove(WORK_FILE);  // a leftover, if it is still held, that the next run replaces
        return;
    }
    if (result == COPY_FILE)
        std::remove(COPY_FILE);
    if (gaveUpOnHeld())
        sayHeld(heldByAnother(WORK_FILE) ? WORK_FILE : EXCHANGE_FILE);
    else
        sayCannotOpen(EXCHANGE_FILE);
    std::exit(-1);
}
