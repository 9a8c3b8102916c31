#pragma once
// An owned byte buffer holding a NUL-terminated text or raw bytes. For text the size counts the
// terminating NUL: the empty text has size 1, a cleared buffer has size 0 and no storage.
// A new buffer holds the empty text.

#include <cstddef>

class CTextBuf {
public:
    CTextBuf();
    CTextBuf(const char* text);
    CTextBuf(const CTextBuf& other);
    CTextBuf& operator=(const CTextBuf& other);
    CTextBuf(CTextBuf&& other) noexcept;
    CTextBuf& operator=(CTextBuf&& other) noexcept;
    ~CTextBuf();

    void Clear();
    // Copies len bytes; a null pointer or length 0 leaves the buffer cleared.
    void SetBytes(const void* data, int len);
    // Copies a text with its NUL; a null pointer clears.
    void Assign(const char* text);
    void Append(const char* text);
    // Byte comparison with a text; false when the buffer is cleared.
    bool Equals(const char* text) const;
    // printf-style formatting. The result is always complete, whatever its length.
    void Format(const char* fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // The stored bytes (null when cleared).
    const char* Data() const {
        return data_;
    }
    // The text, or "" when the buffer is cleared: never null.
    const char* c_str() const {
        return data_ ? data_ : "";
    }
    int Size() const {
        return size_;
    }
    bool IsNonEmpty() const {
        return size_ > 1;
    }

    CTextBuf& operator=(const char* text) {
        Assign(text);
        return *this;
    }

private:
    void Adopt(char* data, int size);

    char* data_ = nullptr;
    int size_ = 0;
    int capacity_ = 0; // storage kept for reuse: reading row after row allocates nothing
};
