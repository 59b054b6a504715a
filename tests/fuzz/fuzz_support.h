// Helpers shared by the native fuzz targets: guarded buffers, input decoding
// and invariant checks that end the run with a readable message.
#pragma once

#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Stops the run when an invariant breaks. libFuzzer treats the abort as a
// crash and saves the input that caused it.
#define FUZZ_CHECK(cond, what)                                                                                         \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "\n*** invariant broken (%s:%d): %s\n    check: %s\n", __FILE__, __LINE__, what,      \
                         #cond);                                                                                       \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

// A heap buffer of exactly size usable bytes followed by guard bytes that hold
// a known pattern and are poisoned for AddressSanitizer: any read or write
// past the usable bytes is reported at once, and a write that slipped through
// some other way still shows in GuardIntact().
class GuardedBuffer {
public:
    static constexpr std::size_t kGuard = 32;
    static constexpr unsigned char kPattern = 0xA5;

    explicit GuardedBuffer(std::size_t size, unsigned char fill = 0xCC)
        : size_(size), mem_(static_cast<char*>(std::malloc(size + kGuard)))
    {
        if (mem_ == nullptr)
            std::abort();
        std::memset(mem_, fill, size);
        std::memset(mem_ + size, kPattern, kGuard);
        ASAN_POISON_MEMORY_REGION(mem_ + size, kGuard);
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    ~GuardedBuffer()
    {
        ASAN_UNPOISON_MEMORY_REGION(mem_ + size_, kGuard);
        std::free(mem_);
    }

    char* data() { return mem_; }
    const char* data() const { return mem_; }
    std::size_t size() const { return size_; }

    // Copies bytes into the usable part (at most size bytes).
    void Fill(const void* from, std::size_t n)
    {
        if (n > 0 && size_ > 0)
            std::memcpy(mem_, from, n < size_ ? n : size_);
    }

    bool GuardIntact() const
    {
        ASAN_UNPOISON_MEMORY_REGION(mem_ + size_, kGuard);
        bool intact = true;
        for (std::size_t i = 0; i < kGuard; ++i)
            intact = intact && static_cast<unsigned char>(mem_[size_ + i]) == kPattern;
        ASAN_POISON_MEMORY_REGION(mem_ + size_, kGuard);
        return intact;
    }

    // True when a terminator lies inside the usable bytes.
    bool Terminated() const { return size_ > 0 && std::memchr(mem_, '\0', size_) != nullptr; }

    std::vector<char> Snapshot() const { return std::vector<char>(mem_, mem_ + size_); }

private:
    std::size_t size_;
    char* mem_;
};

// Reads the fuzz input front to back; past its end every read gives zero.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
    std::uint32_t U32()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
        return v;
    }
    std::uint64_t U64()
    {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v |= static_cast<std::uint64_t>(Byte()) << (8 * i);
        return v;
    }
    // Whatever has not been read yet.
    const std::uint8_t* Rest() const { return data_ + (at_ < size_ ? at_ : size_); }
    std::size_t RestSize() const { return at_ < size_ ? size_ - at_ : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Expands run-length escapes so that short inputs reach long strings: 0xFF, a
// count c and a byte b stand for c + 1 copies of b; any other byte stands for
// itself. The result never exceeds cap bytes.
inline std::vector<char> ExpandRuns(const std::uint8_t* data, std::size_t size, std::size_t cap)
{
    std::vector<char> out;
    for (std::size_t i = 0; i < size && out.size() < cap; ++i) {
        if (data[i] == 0xFF && i + 2 < size) {
            std::size_t n = static_cast<std::size_t>(data[i + 1]) + 1;
            if (n > cap - out.size())
                n = cap - out.size();
            out.insert(out.end(), n, static_cast<char>(data[i + 2]));
            i += 2;
        } else {
            out.push_back(static_cast<char>(data[i]));
        }
    }
    return out;
}

// The body of an input, expanded or taken as it is.
inline std::vector<char> Body(InputReader& in, bool expand, std::size_t cap)
{
    if (expand)
        return ExpandRuns(in.Rest(), in.RestSize(), cap);
    std::size_t n = in.RestSize() < cap ? in.RestSize() : cap;
    return std::vector<char>(in.Rest(), in.Rest() + n);
}

inline bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Checks the usual contract of a bounded text writer: the output is
// terminated within its size, the returned length is its length, and nothing
// past the buffer changed.
inline void CheckBoundedText(const GuardedBuffer& out, std::size_t returned, const char* who)
{
    FUZZ_CHECK(out.GuardIntact(), who);
    if (out.size() == 0) {
        FUZZ_CHECK(returned == 0, who);
        return;
    }
    FUZZ_CHECK(out.Terminated(), who);
    FUZZ_CHECK(returned == std::strlen(out.data()), who);
    FUZZ_CHECK(returned < out.size(), who);
}
