// Writes the exchange file, runs the tool as the host does, and reads its commands back.
#include "stream.h"

#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string MARK = "#linetilt-host line ";

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Shift_JIS bytes as UTF-8, through iconv; the bytes themselves when they cannot be decoded.
std::string fromShiftJis(const std::string& bytes)
{
    iconv_t cd = iconv_open("UTF-8", "SHIFT_JIS");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return bytes;
    std::string in = bytes, out(bytes.size() * 4 + 4, '\0');
    char* inp = in.data();
    char* outp = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    std::size_t done = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1))
        return bytes;
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::string exchangeFile(const Drawing& drawing, Point at)
{
    std::ostringstream out;
    out.precision(17);
    out << "hq\r\nhp1ln " << at.x << " " << at.y << "\r\n";
    Attributes written;
    for (const auto& line : drawing.lines) {
        if (!line.selected)
            continue;
        for (const auto& [kind, record] : line.attributes)
            if (written[kind] != record)
                out << record << "\r\n";
        written = line.attributes;
        out << MARK << line.number << "\r\n" << line.text << "\r\n";
    }
    return out.str();
}

ToolRun runTool(const std::string& tool, const std::vector<std::string>& switches, const std::string& exchange,
                int seconds)
{
    ToolRun run;
    char pattern[] = "/tmp/linetilt-host-XXXXXX";
    fs::path scratch = mkdtemp(pattern);
    fs::path work = scratch / "work";
    fs::create_directory(work);
    std::ofstream(work / "qxc_temp.txt", std::ios::binary) << exchange;

    std::vector<std::string> command = {fs::absolute(tool).string()};
    command.insert(command.end(), switches.begin(), switches.end());
    std::vector<char*> argv;
    for (auto& word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        int out = open((scratch / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open((scratch / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(work.c_str()) != 0)
            _exit(127);
        dup2(out, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int raw = 0;
    while (waitpid(pid, &raw, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &raw, 0);
            run.status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (run.status == 0)
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    run.out = slurp(scratch / "stdout");
    run.err = slurp(scratch / "stderr");
    for (const char* name : {"QXC_TEMP.$$$", "QXC_TEMP.TXT"}) {
        if (fs::exists(work / name)) {
            run.stream = slurp(work / name);
            run.haveStream = true;
            break;
        }
    }
    fs::remove_all(scratch);
    return run;
}

bool readCommands(const std::string& stream, Commands& commands)
{
    std::istringstream in(stream);
    std::string record;
    int current = 0;
    std::vector<std::string> pending;  // attribute records since the last line
    for (int number = 1; std::getline(in, record); ++number) {
        if (!record.empty() && record.back() == '\r')
            record.pop_back();
        Segment segment;
        if (number == 1 && record.compare(0, 2, "he") == 0) {
            commands.error = fromShiftJis(record);
            return false;
        }
        if (number == 1 && record != "hd")
            return false;
        if (record == "hd") {
            continue;
        } else if (record.compare(0, MARK.size(), MARK) == 0) {
            current = std::atoi(record.c_str() + MARK.size());
            pending.clear();
        } else if (record[0] == '#') {
            continue;  // comments, and the end-of-run trace lines of debug level 1
        } else if (parseSegment(record, segment) && current > 0) {
            commands.lines[current].push_back(record);
            pending.clear();
        } else if (record.compare(0, 3, "ch ") == 0) {
            Label label;
            std::istringstream numbers(record.substr(3));
            numbers >> label.at.x >> label.at.y;
            std::size_t quote = record.find('"');
            label.text = quote == std::string::npos ? "" : record.substr(quote + 1);
            commands.labels.push_back(label);
        } else if (!attributeKind(record).empty() || record.compare(0, 2, "cc") == 0 || record[0] == 'l') {
            pending.push_back(record);
        } else {
            commands.unknown.push_back("line " + std::to_string(number) + ": " + record);
        }
    }
    commands.restored = pending;
    return true;
}
