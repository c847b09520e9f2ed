#pragma once
// Output buffer framed by guard bytes, to catch writes past either end of
// the size handed to a routine. Guards are checked explicitly because a
// write that stays inside the vector is invisible to the sanitizer.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class guarded_buffer {
public:
    static constexpr size_t guard = 16;
    static constexpr char pattern = static_cast<char>(0xA5);

    explicit guarded_buffer(size_t size, char fill = pattern) : size_(size), bytes_(size + 2 * guard, pattern)
    {
        std::memset(data(), fill, size);
    }

    char* data() { return bytes_.data() + guard; }
    uint32_t size() const { return static_cast<uint32_t>(size_); }
    std::string str() const { return std::string(bytes_.data() + guard, strnlen(bytes_.data() + guard, size_)); }

    bool guards_intact() const
    {
        for (size_t i = 0; i < guard; ++i)
            if (bytes_[i] != pattern || bytes_[guard + size_ + i] != pattern)
                return false;
        return true;
    }

    bool untouched() const
    {
        for (char c : bytes_)
            if (c != pattern)
                return false;
        return true;
    }

private:
    size_t size_;
    std::vector<char> bytes_;
};

// A copy of text in a heap block of exactly its length (plus the zero byte
// when terminated), so the sanitizer reports any read beyond it.
class exact_text {
public:
    explicit exact_text(const std::string& text, bool terminated = true)
        : bytes_(new char[text.size() + (terminated ? 1 : 0)])
    {
        std::memcpy(bytes_, text.data(), text.size());
        if (terminated)
            bytes_[text.size()] = '\0';
    }
    ~exact_text() { delete[] bytes_; }
    exact_text(const exact_text&) = delete;
    exact_text& operator=(const exact_text&) = delete;

    const char* get() const { return bytes_; }

private:
    char* bytes_;
};
