#include "TextBuf.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <utility>

CTextBuf::CTextBuf() {
    Assign("");
}

CTextBuf::CTextBuf(const char* text) {
    Assign(text);
}

CTextBuf::CTextBuf(const CTextBuf& other) {
    SetBytes(other.data_, other.size_);
}

CTextBuf& CTextBuf::operator=(const CTextBuf& other) {
    if (this != &other)
        SetBytes(other.data_, other.size_);
    return *this;
}

CTextBuf::CTextBuf(CTextBuf&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

CTextBuf& CTextBuf::operator=(CTextBuf&& other) noexcept {
    if (this != &other) {
        Clear();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

CTextBuf::~CTextBuf() {
    Clear();
}

void CTextBuf::Clear() {
    delete[] data_;
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

void CTextBuf::Adopt(char* data, int size) {
    Clear();
    data_ = data;
    size_ = size;
    capacity_ = size;
}

void CTextBuf::SetBytes(const void* data, int len) {
    if (data == data_ && len == size_)
        return;
    if (!data || len <= 0) {
        Clear();
        return;
    }
    const char* src = static_cast<const char*>(data);
    const bool overlaps = data_ && !std::less<const char*>()(src, data_) &&
                          std::less<const char*>()(src, data_ + capacity_);
    if (len <= capacity_ && !overlaps) {
        std::memcpy(data_, data, static_cast<size_t>(len));
        size_ = len;
        return;
    }
    char* copy = new char[static_cast<size_t>(len)];
    std::memcpy(copy, data, static_cast<size_t>(len));
    Adopt(copy, len);
}

void CTextBuf::Assign(const char* text) {
    if (!text) {
        Clear();
        return;
    }
    SetBytes(text, static_cast<int>(std::strlen(text)) + 1);
}

void CTextBuf::Append(const char* text) {
    if (!text)
        return;
    if (size_ < 1) {
        Assign(text);
        return;
    }
    const size_t oldLen = std::strlen(data_); // up to the first NUL, as text concatenation does
    const size_t addLen = std::strlen(text);
    char* joined = new char[oldLen + addLen + 1];
    std::memcpy(joined, data_, oldLen);
    std::memcpy(joined + oldLen, text, addLen + 1);
    Adopt(joined, static_cast<int>(oldLen + addLen + 1));
}

bool CTextBuf::Equals(const char* text) const {
    if (!data_ || !text)
        return false;
    const size_t len = std::strlen(text) + 1;
    return static_cast<size_t>(size_) == len && std::memcmp(data_, text, len) == 0;
}

void CTextBuf::Format(const char* fmt, ...) {
    // Most texts fit the stack buffer; longer ones are formatted again into a buffer of their
    // own length, so nothing is ever cut or written past an end.
    char small[1024];
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, fmt, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        Assign("");
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        va_end(again);
        SetBytes(small, n + 1);
        return;
    }
    char* big = new char[static_cast<size_t>(n) + 1];
    std::vsnprintf(big, static_cast<size_t>(n) + 1, fmt, again);
    va_end(again);
    Adopt(big, n + 1);
}
