// A file written whole or not at all: the text goes to NAME.tmp beside it,
// which replaces NAME only when every byte is out; a report cut short
// leaves no half-written file, and the one before stays. "-" is standard
// output. Every failure throws OutputError naming the file.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

struct OutputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class OutFile {
public:
    explicit OutFile(std::string path);
    ~OutFile();
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;

    OutFile& operator<<(std::string_view s)
    {
        buf_ += s;
        if (buf_.size() >= 1 << 16)
            flush();
        return *this;
    }
    template <class Int, class = std::enable_if_t<std::is_integral_v<Int>>>
    OutFile& operator<<(Int n)
    {
        return *this << std::string_view(std::to_string(n));
    }
    // Writes the rest of each file under its temporary name, then puts
    // them all in place: none is renamed unless all were written, and each
    // target was checked to take a file.
    static void commitall(const std::vector<OutFile*>& files);

private:
    void flush();
    void close();
    void checkplace() const;
    void place();
    [[noreturn]] void fail(const char* what);

    std::string path_, tmp_;
    bool direct_ = false;   // a device or FIFO, written into without a rename
    int fd_ = -1;
    std::string buf_;
};
