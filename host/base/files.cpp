// Checked file I/O on POSIX and Windows; the write goes through a name of its own beside the target.
#include "base/files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/memory.h"
#include "base/stop.h"
#include "base/system.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string failure(const std::string& what, const std::string& path)
{
    return "cannot " + what + " " + path + ": " + reasonOf(errno, path);
}

#ifdef _WIN32
// A file is a Windows handle kept in an int: Windows gives handles that 32 bits hold.
HANDLE handleOf(int fd)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}
// Another program (a virus scanner, an indexer, a viewer) may hold a file for a moment: a
// step it refuses (sharing or lock violation, access denied) is tried again, in short steps
// for about two seconds. A file that stays held, or is really read-only, fails after that.
template <class Step>
bool retried(Step step)
{
    for (int tries = 1;; ++tries) {
        if (step())
            return true;
        DWORD code = GetLastError();
        bool held = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
        if (!held || tries == 40) {
            errno = code == ERROR_FILE_EXISTS ? EEXIST : WINDOWS_ERROR + static_cast<int>(code);
            return false;
        }
        Sleep(50);
    }
}
int openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::wstring wide = widePath(path);
    retried([&] {
        handle = CreateFileW(wide.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    });
    return handle == INVALID_HANDLE_VALUE ? -1 : static_cast<int>(reinterpret_cast<intptr_t>(handle));
}
int openRead(const std::string& path)
{
    return openFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
}
bool sizeOf(int fd, long long& size)
{
    LARGE_INTEGER bytes;
    // A pipe or a device has no size: it is read to its end.
    size = GetFileType(handleOf(fd)) == FILE_TYPE_DISK && GetFileSizeEx(handleOf(fd), &bytes) ? bytes.QuadPart : 0;
    return true;
}
long readSome(int fd, char* data, std::size_t size)
{
    DWORD done = 0;
    if (ReadFile(handleOf(fd), data, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)), &done, nullptr))
        return static_cast<long>(done);
    if (GetLastError() == ERROR_BROKEN_PIPE)
        return 0;  // a pipe's writer has closed it: its end
    errno = systemError();
    return -1;
}
int openNew(const std::string& path)
{
    return openFile(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
}
int openWrite(const std::string& path)
{
    return openFile(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
}
int pid()
{
    return static_cast<int>(GetCurrentProcessId());
}
int closeFile(int fd)
{
    return CloseHandle(handleOf(fd)) ? 0 : (errno = systemError(), -1);
}
long writeSome(int fd, const char* data, std::size_t size)
{
    DWORD done = 0;
    if (WriteFile(handleOf(fd), data, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)), &done, nullptr))
        return static_cast<long>(done);
    errno = systemError();
    return -1;
}
bool sync(int fd)
{
    return FlushFileBuffers(handleOf(fd)) || (errno = systemError(), false);
}
void startWriteback(int, std::size_t, std::size_t)
{
}
bool renameOver(const std::string& from, const std::string& to)
{
    std::wstring source = widePath(from), target = widePath(to);
    return retried(
        [&] { return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH); });
}
bool removeFile(const std::string& path)
{
    std::wstring wide = widePath(path);
    return retried([&] { return DeleteFileW(wide.c_str()); });
}
// Whether `path` is a device or a pipe, as the handle Windows opens on it tells, whatever
// its name: "\\.\C:\d.dxf" is a file, NUL in any folder a device. Opened to ask, not to use.
bool isStream(const std::string& path)
{
    HANDLE handle = CreateFileW(widePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;  // nothing there yet, or no device: a file is made
    DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}
bool stillStream(int fd)
{
    return GetFileType(handleOf(fd)) != FILE_TYPE_DISK;
}
bool endHere(int)
{
    return true;  // a console or a pipe, or a file the C runtime holds: written as it is
}
bool heldCode(DWORD code)
{
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED ||
           code == ERROR_DIR_NOT_EMPTY;  // a file in it deleted, but still held open
}
// One pass over the tree, through the "\\?\" form of a long path, which the C runtime and
// std::filesystem do not take. False at the first step refused, `failed` naming it, errno set.
bool removeOnce(const std::string& path, std::string& failed)
{
    std::wstring wide = widePath(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return true;
        return failed = path, errno = WINDOWS_ERROR + static_cast<int>(code), false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        bool gone = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(wide.c_str()) : DeleteFileW(wide.c_str());
        return gone || (failed = path, errno = systemError(), false);
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(widePath(path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND)
        return failed = path, errno = systemError(), false;
    bool removed = true;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                removed = removeOnce(path + "\\" + narrowed(name), failed);
        } while (removed && FindNextFileW(search, &found));
        FindClose(search);
    }
    return removed && (RemoveDirectoryW(wide.c_str()) || (failed = path, errno = systemError(), false));
}
#else
// Waits for `fd` to be ready for `events` in steps of 20 ms, so that a signal that came
// just before the wait is seen; false, with EINTR, once a signal asks the run to stop.
bool waitReady(int fd, short events)
{
    for (;;) {
        if (stopSignal() != 0)
            return errno = EINTR, false;
        struct pollfd ready = {fd, events, 0};
        if (poll(&ready, 1, 20) > 0)
            return true;
    }
}
// Without waiting in the call: a FIFO's writer is waited for in poll, where a signal is seen.
int openRead(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status;
    if (fd >= 0 && fstat(fd, &status) == 0 && S_ISFIFO(status.st_mode) && !waitReady(fd, POLLIN)) {
        int saved = errno;
        close(fd);
        return errno = saved, -1;
    }
    return fd;
}
bool sizeOf(int fd, long long& size)
{
    struct stat status;
    if (fstat(fd, &status) != 0)
        return false;
    size = status.st_size;
    return true;
}
long readSome(int fd, char* data, std::size_t size)
{
    for (;;) {
        long n = read(fd, data, size);
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || !waitReady(fd, POLLIN))
            return n;
    }
}
int openNew(const std::string& path)
{
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
// Without waiting in the call: a FIFO's reader is looked for every 20 ms until one comes or a
// signal stops the run, and every write waits for room in poll, where a signal is seen.
// A socket is not opened but connected to, as a stream or, where it takes only those, in
// packets that keep their bounds.
int connectTo(const std::string& path)
{
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    // A path too long for the address is reached through a short name of its own.
    int pathFd = -1;
    std::string name = path;
    if (name.size() >= sizeof address.sun_path) {
        pathFd = open(path.c_str(), O_PATH | O_CLOEXEC);
        if (pathFd < 0)
            return -1;
        name = "/proc/self/fd/" + std::to_string(pathFd);
    }
    std::memcpy(address.sun_path, name.c_str(), std::min(name.size() + 1, sizeof address.sun_path - 1));
    int fd = -1, error = EPROTOTYPE;
    for (int type : {SOCK_STREAM, SOCK_SEQPACKET}) {
        fd = socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            error = errno;
            break;
        }
        // A listener whose queue is full is waited for, as a FIFO's reader is.
        int connected;
        while ((connected = connect(fd, reinterpret_cast<const struct sockaddr*>(&address), sizeof address)) != 0 &&
               errno == EAGAIN && stopSignal() == 0)
            usleep(20000);
        if (connected == 0)
            break;
        error = errno == EAGAIN ? EINTR : errno;
        close(fd);
        fd = -1;
        if (error != EPROTOTYPE)
            break;
    }
    if (pathFd >= 0)
        close(pathFd);
    return fd >= 0 ? fd : (errno = error, -1);
}
int openWrite(const std::string& path)
{
    for (struct stat status;;) {
        int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENXIO && stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode))
            return connectTo(path);
        if (fd >= 0 || errno != ENXIO || stat(path.c_str(), &status) != 0 || !S_ISFIFO(status.st_mode))
            return fd;
        if (stopSignal() != 0)
            return errno = EINTR, -1;
        usleep(20000);
    }
}
int pid()
{
    return getpid();
}
int closeFile(int fd)
{
    return close(fd);
}
long writeSome(int fd, const char* data, std::size_t size)
{
    return write(fd, data, size);
}
bool sync(int fd)
{
    return fsync(fd) == 0 || errno == EINVAL;  // EINVAL: a file that cannot be synced, such as a pipe
}
void startWriteback(int fd, std::size_t at, std::size_t bytes)
{
#if defined(SYNC_FILE_RANGE_WRITE) && !defined(__EMSCRIPTEN__)  // declared there, but not provided
    // Only a hint: a failure here shows again, and counts, in the sync.
    sync_file_range(fd, static_cast<off_t>(at), static_cast<off_t>(bytes), SYNC_FILE_RANGE_WRITE);
#else
    (void)fd, (void)at, (void)bytes;
#endif
}
bool renameOver(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}
bool removeFile(const std::string& path)
{
    return std::remove(path.c_str()) == 0;
}
bool isStream(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}
// Whether what `fd` opened is a stream still, and not a regular file put under the name since.
bool stillStream(int fd)
{
    struct stat status;
    return fstat(fd, &status) == 0 && !S_ISREG(status.st_mode);
}
// A regular file written through a descriptor the stand-in was given, not for appending,
// ends where the new drawing ends: no tail of what it held before stays after it.
bool endHere(int fd)
{
    struct stat status;
    int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || flags < 0 || (flags & O_APPEND))
        return true;
    off_t at = lseek(fd, 0, SEEK_CUR);
    return at < 0 || ftruncate(fd, at) == 0;
}
#endif

// The most a write into a stream takes at once: PIPE_BUF, which a pipe with room never refuses.
constexpr std::size_t STREAM_PIECE = 4096;

// Whether `fd` takes bytes now; false after a tenth of a second without room, so that the
// caller looks for a signal again. A write after room is found, of STREAM_PIECE bytes at most,
// never waits: a pipe nobody reads can hold the stand-in no longer than that.
bool roomIn(int fd)
{
#ifdef _WIN32
    (void)fd;
    return true;
#else
    struct pollfd room = {fd, POLLOUT, 0};
    int ready = poll(&room, 1, 100);
    return ready > 0 || (ready < 0 && errno != EINTR);  // an error or a hang-up shows in the write
#endif
}

// Writes all of `bytes`; false with errno at a failed write, or with EINTR once a signal has
// asked the run to stop. With `streamed` (a pipe, a FIFO, a device) each write waits for room.
bool writeAll(int fd, std::string_view bytes, bool streamed)
{
    for (std::size_t done = 0; done < bytes.size();) {
        if (stopSignal() != 0)
            return errno = EINTR, false;
        if (streamed && !roomIn(fd))
            continue;
        std::size_t size = bytes.size() - done;
        long n = writeSome(fd, bytes.data() + done, streamed ? std::min(size, STREAM_PIECE) : size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes what `produce` puts to `fd` through a buffer of its own, so that a large drawing is
// never held twice. The buffer is sized once, never grows and serves every write: each fresh
// page costs a fault. With `early`, the system is asked to start writing each part to the
// disk as it goes, so that the sync at the end has little left to wait for. False with errno
// at the first failed write.
bool writeProduced(int fd, const Producer& produce, bool early, bool streamed = false)
{
#ifdef __EMSCRIPTEN__
    // The page's files are arrays that are copied whole each time one grows: an exchange file
    // (some 3 MB at most) goes in one write, and is made once at its size.
    const std::size_t room = 1u << 22;
#else
    const std::size_t room = 1u << 18;
#endif
    static std::string buffer;
    buffer.reserve(room);
    buffer.clear();
    bool written = true;
    int saved = 0;
    std::size_t done = 0;
    auto out = [&](std::string_view bytes) {
        if (bytes.empty())
            return;
        if (written && !writeAll(fd, bytes, streamed))
            written = false, saved = errno;
        if (written && early)
            startWriteback(fd, done, bytes.size());
        done += bytes.size();
    };
    produce([&](std::string_view piece) {
        if (buffer.size() + piece.size() > room) {
            out(buffer);
            buffer.clear();
        }
        if (piece.size() >= room)
            out(piece);
        else
            buffer.append(piece);
    });
    out(buffer);
    errno = saved;
    return written;
}

// Writes what `produce` puts to `fd`, opened on `path`, and closes it; a negative `fd` is an
// opening (`how`) that failed. With `durable`, the file is on the disk before it is closed.
// False with `error` naming the step that failed.
bool writeOpened(int fd, const char* how, const std::string& path, const Producer& produce, bool durable,
                 std::string& error, bool streamed = false)
{
    if (fd < 0) {
        error = failure(how, path);
        return false;
    }
    bool written = writeProduced(fd, produce, durable, streamed) && (!durable || sync(fd));
    int saved = errno;
    bool closed = closeFile(fd) == 0;
    if (!written || !closed) {
        errno = written ? errno : saved;
        error = failure("write", path);
        return false;
    }
    return true;
}

#ifndef _WIN32
// `name` and each name its links lead to in turn, a relative link taken from its own
// directory; the last is no link, or is one still after as many links as the system follows.
std::vector<std::string> linkChain(const std::string& name)
{
    std::error_code code;
    fs::path step = name;
    std::vector<std::string> chain = {name};
    for (int hop = 0; hop < 40 && fs::is_symlink(fs::symlink_status(step, code)); ++hop) {
        fs::path next = fs::read_symlink(step, code);
        if (code)
            break;
        step = next.is_absolute() ? next : step.parent_path() / next;
        chain.push_back(step.string());
    }
    return chain;
}


// A name as the system's own names are told: whole, without "." and "..".
std::string plainName(const std::string& path)
{
    std::error_code code;
    return fs::absolute(path, code).lexically_normal().string();
}
#endif

// Removes the new file beside a target that did not become the target; one that stays is named.
void removeBeside(const std::string& beside, std::string& error)
{
    if (!removeFile(beside))
        error += "; " + failure("remove", beside);
}

// A name beside `path` for its new contents, within the system's limit for one name (255)
// as `path`'s own is: a long name gives way to a short one in the same directory.
std::string sideName(const std::string& path, int attempt)
{
    std::string suffix = ".new-" + std::to_string(pid()) + "-" + std::to_string(attempt);
#ifdef _WIN32
    std::size_t slash = path.find_last_of("/\\");
#else
    std::size_t slash = path.rfind('/');
#endif
    std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (path.size() - start + suffix.size() <= 255)
        return path + suffix;
    return path.substr(0, start) + ".linetilt-host" + suffix;
}

}  // namespace

bool readWhole(const std::string& path, std::string& bytes, std::string& error)
{
    FileBytes file;
    if (!file.read(path, error))
        return false;
    bytes.assign(file.view());
    return true;
}

FileBytes::FileBytes(FileBytes&& other) noexcept : data_(other.data_), size_(other.size_), room_(other.room_)
{
    other.data_ = nullptr, other.size_ = 0, other.room_ = 0;
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept
{
    if (this != &other) {
        release();
        data_ = other.data_, size_ = other.size_, room_ = other.room_;
        other.data_ = nullptr, other.size_ = 0, other.room_ = 0;
    }
    return *this;
}

FileBytes::~FileBytes()
{
    release();
}

void FileBytes::release()
{
    if (data_)
        freeLarge(data_, room_);
    data_ = nullptr;
    size_ = room_ = 0;
}

void FileBytes::grow(std::size_t room)
{
    char* more = allocateLarge(room);
    if (size_ > 0)
        std::memcpy(more, data_, size_);
    if (data_)
        freeLarge(data_, room_);
    data_ = more, room_ = room;
}

bool FileBytes::read(const std::string& path, std::string& error)
{
    release();
    int fd = openRead(path);
    if (fd < 0) {
        error = failure("open", path);
        return false;
    }
    long long bytes = 0;
    bool failed = !sizeOf(fd, bytes);
    if (!failed && bytes > 0)
        grow(static_cast<std::size_t>(bytes));
    // Once the room is full the end is looked for in a chunk, so that a file of the size
    // fstat gave is not copied into larger room only to find that nothing follows.
    char chunk[1 << 16];
    while (!failed) {
        if (stopSignal() != 0) {  // a file that never makes the read wait: /dev/zero, say
            failed = true;
            errno = EINTR;
            break;
        }
        bool full = size_ == room_;
        long n = full ? readSome(fd, chunk, sizeof chunk) : readSome(fd, data_ + size_, room_ - size_);
        if (n < 0 && errno == EINTR && stopSignal() == 0)
            continue;
        if (n <= 0) {
            failed = n < 0;
            break;
        }
        if (full) {
            grow(std::max(2 * room_, room_ + sizeof chunk));
            std::memcpy(data_ + size_, chunk, static_cast<std::size_t>(n));
        }
        size_ += static_cast<std::size_t>(n);
    }
    int saved = errno;
    if (closeFile(fd) != 0 && !failed)
        failed = true, saved = errno;
    if (failed) {
        errno = saved;
        error = failure("read", path);
        release();
    }
    return !failed;
}

bool writeNew(const std::string& path, const Producer& produce, std::string& error)
{
    return writeOpened(openNew(path), "create", path, produce, false, error);
}

int heldDescriptor(const std::string& name)
{
    if (name == "-")
        return 1;
#ifndef _WIN32
    for (const std::string& link : linkChain(name)) {
        std::string step = plainName(link), self = "/proc/" + std::to_string(getpid()) + "/fd/";
        // The one thread's own: its task is the process.
        std::string task = self.substr(0, self.size() - 3) + "task/" + std::to_string(getpid()) + "/fd/";
        for (const char* prefix : {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/", self.c_str(), task.c_str()}) {
            std::size_t size = std::strlen(prefix);
            if (step.compare(0, size, prefix) == 0 && step.size() > size && step.size() <= size + 9 &&
                step.find_first_not_of("0123456789", size) == std::string::npos)
                return std::atoi(step.c_str() + size);
        }
        if (step == "/dev/stdin" || step == "/dev/stdout" || step == "/dev/stderr")
            return step == "/dev/stdin" ? 0 : step == "/dev/stdout" ? 1 : 2;
    }
#endif
    return -1;
}

bool identify(const std::string& name, Identity& identity, bool output)
{
    int held = output ? heldDescriptor(name) : -1;
#ifdef _WIN32
    if (held >= 0)
        return identity = {0, 0, "descriptor " + std::to_string(held), false}, true;
    HANDLE handle = CreateFileW(widePath(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION file;
    bool known = handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &file);
    bool device = handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR;
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (known) {
        identity = {file.dwVolumeSerialNumber,
                    (static_cast<unsigned long long>(file.nFileIndexHigh) << 32) | file.nFileIndexLow, "", device};
        return true;
    }
    // Not there yet, or a device: its whole name, in one case, as Windows compares names.
    std::error_code code;
    std::wstring whole = fs::absolute(fs::u8path(name), code).lexically_normal().wstring();
    CharUpperBuffW(whole.data(), static_cast<DWORD>(whole.size()));
    identity = {0, 0, narrowed(whole), device};
    return !code;
#else
    struct stat status;
    if (held >= 0 ? fstat(held, &status) == 0 : stat(name.c_str(), &status) == 0) {
        identity = {static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino), "",
                    held < 0 && S_ISCHR(status.st_mode)};
        return true;
    }
    if (errno != ENOENT)
        return false;
    // Nothing has the name yet: the directory it would be made in, and the name there.
    fs::path path = linkChain(name).back();
    std::string directory = path.has_parent_path() ? path.parent_path().string() : ".";
    if (stat(directory.c_str(), &status) != 0)
        return false;
    identity = {static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino),
                path.filename().string(), false};
    return true;
#endif
}

Output::Output(std::string name) : name_(std::move(name))
{
    held_ = name_.empty() ? -1 : heldDescriptor(name_);
#ifndef _WIN32
    struct stat status;
    // A descriptor held on a regular file takes large writes; on anything else, writes that fit.
    streamed_ = held_ >= 0 ? fstat(held_, &status) == 0 && !S_ISREG(status.st_mode) : !name_.empty() && isStream(name_);
#else
    streamed_ = held_ < 0 && !name_.empty() && isStream(name_);
#endif
}

Output::~Output()
{
    discard();
}

bool Output::intoStream() const
{
    return held_ >= 0 || streamed_;
}

bool Output::write(const Producer& produce, std::string& error)
{
    if (held_ >= 0) {
        // Written through as it is, so that standard output appended to a file stays an
        // append: opened again, or replaced, the file would be emptied.
        int fd = held_;
#ifdef _WIN32
        _setmode(held_, _O_BINARY);
        fd = static_cast<int>(_get_osfhandle(held_));  // the writes here take the handle, not the C runtime's number
#endif
        if (writeProduced(fd, produce, false, streamed_) && endHere(fd))
            return true;
        error = failure("write", name_);
        return false;
    }
    if (streamed_) {
        int fd = openWrite(name_);
        if (fd >= 0 && !stillStream(fd)) {
            closeFile(fd);
            error = name_ + " has become a regular file since the run began; the new drawing is not written into it";
            return false;
        }
        return writeOpened(fd, "open", name_, produce, false, error, true);  // nothing to rename over
    }
    // Through a link, the file it leads to is replaced where it lies (made, when the link
    // dangles), and the link stays.
    std::string path = name_;
#ifndef _WIN32
    path = linkChain(name_).back();
    std::error_code code;
    if (fs::is_symlink(fs::symlink_status(path, code))) {
        errno = ELOOP;
        error = failure("follow the links of", name_);
        return false;
    }
    struct stat old;
    bool existed = stat(path.c_str(), &old) == 0;
    if (!existed && errno != ENOENT) {
        error = failure("look at", path);
        return false;
    }
#else
    std::error_code code;
    if (fs::is_symlink(fs::symlink_status(fs::u8path(name_), code))) {
        fs::path lying = fs::canonical(fs::u8path(name_), code);
        if (!code)
            path = lying.u8string();
    }
#endif
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        beside_ = sideName(path, attempt);
        fd = openNew(beside_);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        error = failure("create", beside_);
        beside_.clear();
        return false;
    }
    target_ = path;
#ifndef _WIN32
    // The new file takes the old one's owner and group where the system lets it, and its
    // mode (after the owner: a change of owner clears the set-id bits).
    if (existed) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
            // Another's file, or a group the user is not in: the user's own, as any new file.
        }
        if (fchmod(fd, old.st_mode & 01777) != 0) {
            error = failure("set the mode of", beside_);
            closeFile(fd);
            discard(error);
            return false;
        }
    }
#endif
    if (!writeOpened(fd, "create", beside_, produce, true, error)) {
        discard(error);
        return false;
    }
#ifndef _WIN32
    // The set-id bits after the writing, which takes them away from a file not root's; only
    // with the owner or group they were given for, never onto the user's own copy of another's.
    struct stat made;
    mode_t setId = 0;
    if (existed && (old.st_mode & 07000) && stat(beside_.c_str(), &made) == 0)
        setId = (made.st_uid == old.st_uid ? old.st_mode & S_ISUID : 0) |
                (made.st_gid == old.st_gid ? old.st_mode & S_ISGID : 0);
    if (setId != 0 && chmod(beside_.c_str(), (old.st_mode & 01777) | setId) != 0) {
        error = failure("set the mode of", beside_);
        discard(error);
        return false;
    }
#endif
    return true;
}

bool Output::commit(std::string& error)
{
    if (beside_.empty())
        return true;
#ifndef _WIN32
    // Replaced meanwhile by a device, a FIFO, a folder or a link: not the file it was, not replaced.
    struct stat now;
    if (lstat(target_.c_str(), &now) == 0 && !S_ISREG(now.st_mode)) {
        error = target_ + " is no longer a regular file; it is left as it is";
        discard(error);
        return false;
    }
#endif
    if (!renameOver(beside_, target_)) {
        error = failure("rename " + beside_ + " to", target_);
        discard(error);
        return false;
    }
    beside_.clear();
    return true;
}

void Output::discard()
{
    std::string unsaid;
    discard(unsaid);
}

void Output::discard(std::string& error)
{
    if (!beside_.empty())
        removeBeside(beside_, error);
    beside_.clear();
}

bool makeDirectory(const std::string& path)
{
#ifdef _WIN32
    if (CreateDirectoryW(widePath(path).c_str(), nullptr))
        return true;
    errno = GetLastError() == ERROR_ALREADY_EXISTS ? EEXIST : systemError();
    return false;
#else
    return mkdir(path.c_str(), 0700) == 0;
#endif
}

bool lookFor(const std::string& path, bool& there)
{
#ifdef _WIN32
    there = GetFileAttributesW(widePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    DWORD code = there ? 0 : GetLastError();
    if (there || code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return true;
    errno = WINDOWS_ERROR + static_cast<int>(code);
    return false;
#else
    struct stat status;
    there = stat(path.c_str(), &status) == 0;
    return there || errno == ENOENT;
#endif
}

bool removeTree(const std::string& path, double seconds, std::string& error)
{
#ifdef _WIN32
    auto until = std::chrono::steady_clock::now() +
                 std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
    std::string refused;
    while (!removeOnce(path, refused)) {
        bool held = errno >= WINDOWS_ERROR && heldCode(static_cast<DWORD>(errno - WINDOWS_ERROR));
        if (!held || std::chrono::steady_clock::now() >= until) {
            error = failure("remove", refused);
            return false;
        }
        Sleep(50);
    }
    return true;
#else
    (void)seconds;  // nothing holds a file against its removal here
    std::error_code code;
    if (fs::remove_all(path, code) != static_cast<std::uintmax_t>(-1) && !code)
        return true;
    error = "cannot remove " + path + ": " + reasonOf(code);
    return false;
#endif
}
