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

// The descriptor of the stand-in's own that an output named `name` is written through, -1 for none.
int heldDescriptor(const std::string& name);

// What a name leads to, so that two names of one file are told from two files: the file
// (its device and inode after the links; on Windows its volume and index), or for a name
// nothing has yet, the directory it would be made in and the name there.
struct Identity {
    unsigned long long device = 0, file = 0;
    std::string name;
    bool characterDevice = false;  // named, not held: /dev/null or NUL takes any number of writers
    bool operator==(const Identity& other) const
    {
        return device == other.device && file == other.file && name == other.name;
    }
};

// False where it cannot be learnt (the directory is not there): a failure to come, not a clash.
// An output's `-` or /dev/fd/N is the descriptor it would be written through; anything else,
// and every name read (the drawing, even one named "-"), is the file of that name.
bool identify(const std::string& name, Identity& identity, bool output = true);

// An output of the run, -o or --svg. What its target is decides how it is written: a regular
// file, a link to one or a name nothing has yet goes to a new file beside it, renamed over it
// by commit(), so that until then every such target is as it was; a device, a FIFO or a
// socket is written into, which cannot be taken back; a descriptor the stand-in holds ("-",
// /dev/stdout, /dev/stderr, /dev/fd/N) is written through. The new file keeps the old one's
// mode, and its owner and group where the system allows. A side file never renamed is removed.
class Output {
public:
    explicit Output(std::string name);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output();

    bool asked() const { return !name_.empty(); }
    // Whether it is written into as it goes (a descriptor held, a device, a FIFO).
    bool intoStream() const;
    // False with `error` naming the step that failed; nothing of it is left beside the target.
    bool write(const Producer& produce, std::string& error);
    // Renames the side file over the target; nothing to do for a target written into.
    bool commit(std::string& error);
    void discard();

private:
    void discard(std::string& error);
    std::string name_, target_, beside_;
    int held_ = -1;
    bool streamed_ = false;
};

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
