// Windows processes: the tool starts suspended in a job object without a console window;
// a timeout ends the job, and with it every process the tool started.
#include <windows.h>

#include <string>

#include "base/system.h"
#include "tool/process.h"
#include "tool/runner.h"

namespace {

constexpr DWORD STOPPING_MILLIS = 5000;

// One argument quoted as the Microsoft C runtime splits a command line.
std::string quoted(const std::string& word)
{
    if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos)
        return word;
    std::string out = "\"";
    std::size_t slashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, '\\');
    return out + "\"";
}

std::string lastError(const std::string& name)
{
    return reasonOf(systemError(), name);
}

HANDLE inheritable(const std::string& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    return CreateFileW(widePath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The tool opens its files by names of up to 12 characters in its folder: "\QXC_x2x2.$$$".
constexpr std::size_t TOOL_NAME = 13;

// Windows starts a program only in a folder whose path is shorter than MAX_PATH, and the
// tool opens its files by their plain names there: a folder too long for those (under a long
// TEMP) is given by its short 8.3 name. "" where that is too long still, or the volume keeps
// no short names.
std::wstring startingFolder(const std::string& directory)
{
    std::wstring whole = widePath(directory);
    if (whole.compare(0, 4, L"\\\\?\\") != 0) {
        if (whole.size() + TOOL_NAME < MAX_PATH)
            return whole;
        whole = whole.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + whole.substr(2) : L"\\\\?\\" + whole;
    }
    std::wstring brief(32768, L'\0');
    DWORD size = GetShortPathNameW(whole.c_str(), brief.data(), static_cast<DWORD>(brief.size()));
    if (size == 0 || size >= brief.size())
        return L"";
    brief.resize(size);
    brief = brief.compare(0, 8, L"\\\\?\\UNC\\") == 0 ? L"\\\\" + brief.substr(8)
            : brief.compare(0, 4, L"\\\\?\\") == 0 ? brief.substr(4)
                                                 : brief;
    return brief.size() + TOOL_NAME < MAX_PATH ? brief : L"";
}

}  // namespace

std::string toolBeside()
{
    std::wstring self(32768, L'\0');
    std::string path = narrowed(self.substr(0, GetModuleFileNameW(nullptr, self.data(), 32768)));
    std::size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "\\linetilt.exe";
}

Process startProcess(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& directory, const std::string& outFile, const std::string& errFile)
{
    Process process;
    std::string line = quoted(program);
    for (const auto& argument : arguments)
        line += " " + quoted(argument);
    HANDLE in = inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = inheritable(outFile, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = inheritable(errFile, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in, startup.hStdOutput = out, startup.hStdError = err;
    PROCESS_INFORMATION info = {};
    std::wstring folder = startingFolder(directory);
    if (folder.empty()) {
        process.failure = "its folder " + directory + " is " + std::to_string(widened(directory).size()) +
                          " characters long, and Windows starts no program in a folder that long: set TEMP to a "
                          "shorter one";
    } else if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE || !job) {
        process.failure = lastError("");
    } else {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        std::wstring wideLine = widened(line);
        if (!CreateProcessW(widened(program).c_str(), wideLine.data(), nullptr, nullptr, TRUE,
                            CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, folder.c_str(), &startup, &info)) {
            process.failure = lastError(program);
        } else {
            AssignProcessToJobObject(job, info.hProcess);
            ResumeThread(info.hThread);
            CloseHandle(info.hThread);
            process.started = true;
            process.id = reinterpret_cast<long long>(info.hProcess);
            process.job = reinterpret_cast<long long>(job);
            job = nullptr;
        }
    }
    for (HANDLE handle : {in, out, err})
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    if (job)
        CloseHandle(job);
    return process;
}

int waitProcess(Process& process, double seconds, bool& timedOut)
{
    HANDLE handle = reinterpret_cast<HANDLE>(process.id);
    HANDLE job = reinterpret_cast<HANDLE>(process.job);
    double millis = seconds * 1000;
    ULONGLONG deadline = GetTickCount64() + (millis >= 1e15 ? 1000000000000000ULL : static_cast<ULONGLONG>(millis));
    // In slices, so that Ctrl-C is seen while the tool runs.
    DWORD waited;
    while ((waited = WaitForSingleObject(handle, 100)) == WAIT_TIMEOUT && stopSignal() == 0 &&
           GetTickCount64() < deadline) {
    }
    bool stopped = waited != WAIT_OBJECT_0;
    timedOut = stopped && stopSignal() == 0;
    DWORD code = 0;
    if (stopped) {
        TerminateJobObject(job, 1);
        TerminateProcess(handle, 1);  // should it have stayed outside the job
        // A process stuck in the system may outlive its ending; the stand-in does not wait on it.
        if (WaitForSingleObject(handle, STOPPING_MILLIS) != WAIT_OBJECT_0)
            process.failure = "the tool did not end within " + std::to_string(STOPPING_MILLIS / 1000) +
                              " seconds of being stopped";
    } else {
        GetExitCodeProcess(handle, &code);
    }
    CloseHandle(handle);
    CloseHandle(job);
    return stopped ? -1 : static_cast<int>(code);
}
