// Whole-file reading and writing with every call checked: a failure is never taken for the end.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Reads the whole of `path` into `bytes`; false with `error` naming the path and the reason.
bool readWhole(const std::string& path, std::string& bytes, std::string& error);

// The whole of a file, every read checked. Its room is sized once from the file's size and
// asks for huge pages (memory.h), so that a large drawing is read without a fault for each
// small page; a file that grows meanwhile, or has no size (a pipe), is read on.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    ~FileBytes();

    // False with `error` naming the path and the reason.
    bool read(const std::string& path, std::string& error);
    std::string_view view() const { return std::string_view(data_, size_); }

private:
    void release();
    void grow(std::size_t room);
    char* data_ = nullptr;
    std::size_t size_ = 0, room_ = 0;
};

// Hands its pieces, one after another, to the function it is given.
using Producer = std::function<void(const std::function<void(std::string_view)>& put)>;

// Writes what `produce` puts to a new file beside `name` and renames it over `name`, so that
// `name` holds either what it held before or all of it; false with `error` otherwise. The new
// file keeps the old one's mode, and its owner and group where the system allows. A link
// stays, and the file it leads to is replaced (made, when the link dangles). A device, a FIFO
// and a name under /dev/ or /proc/ are written into; "-", /dev/stdout, /dev/stderr and
// /dev/fd/N through the descriptor the stand-in holds.
bool replaceFile(const std::string& name, const Producer& produce, std::string& error);

// The descriptor of the stand-in's own that replaceFile writes `name` through, -1 for none.
int heldDescriptor(const std::string& name);

// Writes what `produce` puts as the new file `path` (in a directory of the stand-in's own).
bool writeNew(const std::string& path, const Producer& produce, std::string& error);

// Makes the directory `path`, for the stand-in alone where the system has modes; false with
// errno (EEXIST where something has the name already).
bool makeDirectory(const std::string& path);

// Whether anything has the name `path`; false with errno where that cannot be learnt.
bool lookFor(const std::string& path, bool& there);

// Removes `path` and all it holds. On Windows a long path is taken whole, and a file another
// program holds is tried again, in short steps, until `seconds` have passed; false with
// `error` naming the first thing that stays and why.
bool removeTree(const std::string& path, double seconds, std::string& error);
