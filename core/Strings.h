// Owned 8-bit strings, little-endian readers and the small text toolkit of the core.
#ifndef MIRANDOL_STRINGS_H
#define MIRANDOL_STRINGS_H

#include <stddef.h>
#include <stdint.h>

#include <new>

// One owned, heap-allocated, NUL-terminated buffer, or null. Null and ""
// are the same everywhere.
class String {
public:
    String() : str(nullptr) {}
    explicit String(const char *text) : str(duplicate(text)) {}
    ~String() { delete[] str; }
    String(const String &) = delete;
    String &operator=(const String &) = delete;

    char *str;

    const char *c_str() const { return str ? str : ""; }
    bool isEmpty() const { return !str || !*str; }
    void set(const char *text);          // replaces with a copy of text
    void clear();                        // frees the buffer
    void take(String &other);            // moves other's buffer here
    void append(const char *text);
    void appendString(const String &other) { append(other.str); }
    const char *fileName() const;        // part after the last '/' or '\'
    void incrementNumber();
    void lower();

    static char *duplicate(const char *text);
    static int compare(const char *a, const char *b);
    static int compare(const String &a, const String &b) { return compare(a.str, b.str); }
    static int compareCStr(const String &a, const char *b) { return compare(a.str, b); }
    static int comparePath(const char *a, const char *b);
};

// Lower-cases a C string in place (unsigned bytes) and returns it.
char *strlwr(char *text);

// "first[-last] name" of animation scripts; see Strings.cpp.
void parseNumberRange(char *line, unsigned &first, unsigned &last);

uint32_t swap32(uint32_t x);
uint32_t swap24(uint32_t x);
int32_t swap16(uint32_t x);

// Bounded little-endian readers: the caller has checked that the bytes exist.
inline uint16_t readLE16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t readLE24(const uint8_t *p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16); }
inline uint32_t readLE32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void writeLE16(uint8_t *p, uint16_t v) { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }
inline void writeLE32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); p[2] = (uint8_t)(v >> 16); p[3] = (uint8_t)(v >> 24);
}

// A reader over a byte range that never reads past its end.
class ByteReader {
public:
    ByteReader(const uint8_t *data, size_t size) : data_(data), size_(size), pos_(0), ok_(true) {}
    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    bool skip(size_t n) { if (n > remaining()) { ok_ = false; pos_ = size_; return false; } pos_ += n; return true; }
    uint8_t u8() { if (remaining() < 1) { ok_ = false; return 0; } return data_[pos_++]; }
    uint16_t u16() { if (remaining() < 2) { ok_ = false; pos_ = size_; return 0; } uint16_t v = readLE16(data_ + pos_); pos_ += 2; return v; }
    uint32_t u32() { if (remaining() < 4) { ok_ = false; pos_ = size_; return 0; } uint32_t v = readLE32(data_ + pos_); pos_ += 4; return v; }
    const uint8_t *bytes(size_t n) { if (n > remaining()) { ok_ = false; pos_ = size_; return nullptr; } const uint8_t *p = data_ + pos_; pos_ += n; return p; }
private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_;
    bool ok_;
};

// The core's growable array of object pointers (grows by 8 entries).
template <class T>
struct PointerArray {
    unsigned count = 0;
    unsigned capacity = 0;
    T **items = nullptr;

    ~PointerArray() { delete[] items; }
    bool ensureRoom()
    {
        if (count < capacity)
            return true;
        T **grown = new (std::nothrow) T *[capacity + 8];
        if (!grown)
            return false;
        for (unsigned i = 0; i < count; i++)
            grown[i] = items[i];
        delete[] items;
        items = grown;
        capacity += 8;
        return true;
    }
    bool add(T *item)
    {
        if (!ensureRoom())
            return false;
        items[count++] = item;
        return true;
    }
};

#endif
