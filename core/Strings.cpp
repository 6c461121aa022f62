#include "Strings.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

char *String::duplicate(const char *text)
{
    if (!text)
        return nullptr;
    size_t n = strlen(text) + 1;
    char *copy = new (std::nothrow) char[n];
    if (copy)
        memcpy(copy, text, n);
    return copy;
}

void String::set(const char *text)
{
    char *copy = duplicate(text);
    delete[] str;
    str = copy;
}

void String::clear()
{
    delete[] str;
    str = nullptr;
}

void String::take(String &other)
{
    if (&other == this)
        return;
    delete[] str;
    str = other.str;
    other.str = nullptr;
}

void String::append(const char *text)
{
    if (!text || !*text)
        return;
    if (isEmpty()) {
        set(text);
        return;
    }
    size_t a = strlen(str), b = strlen(text);
    char *joined = new (std::nothrow) char[a + b + 1];
    if (!joined)
        return;
    memcpy(joined, str, a);
    memcpy(joined + a, text, b + 1);
    delete[] str;
    str = joined;
}

const char *String::fileName() const
{
    if (!str)
        return "";
    const char *last = str;
    for (const char *p = str; *p; p++)
        if (*p == '/' || *p == '\\')
            last = p + 1;
    return last;
}

void String::incrementNumber()
{
    if (!str)
        return;
    char *dot = strrchr(str, '.');
    if (!dot || dot - str < 3) {
        clear();
        return;
    }
    char *digits = dot - 3;
    unsigned value = 0;
    for (int i = 0; i < 3; i++) {
        if (!isdigit((unsigned char)digits[i])) {
            clear();
            return;
        }
        value = value * 10 + (unsigned)(digits[i] - '0');
    }
    if (value >= 999) {
        clear();
        return;
    }
    char buf[8];
    snprintf(buf, sizeof buf, "%03u", value + 1);
    memcpy(digits, buf, 3);
}

void String::lower()
{
    if (str)
        strlwr(str);
}

int String::compare(const char *a, const char *b)
{
    bool ea = !a || !*a, eb = !b || !*b;
    if (ea && eb)
        return 0;
    if (ea)
        return -1;
    if (eb)
        return 1;
    return strcmp(a, b);
}

int String::comparePath(const char *a, const char *b)
{
    bool ea = !a || !*a, eb = !b || !*b;
    if (ea && eb)
        return 0;
    if (ea)
        return -1;
    if (eb)
        return 1;
    for (;; a++, b++) {
        unsigned char ca = (unsigned char)(*a == '\\' ? '/' : *a);
        unsigned char cb = (unsigned char)(*b == '\\' ? '/' : *b);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (!ca)
            return 0;
    }
}

char *strlwr(char *text)
{
    if (text)
        for (unsigned char *p = (unsigned char *)text; *p; p++)
            *p = (unsigned char)tolower(*p);
    return text;
}

static unsigned readRun(const char *&p)
{
    unsigned value = 0;
    int digits = 0;
    while (isdigit((unsigned char)*p)) {
        if (digits < 3)
            value = value * 10 + (unsigned)(*p - '0');
        digits++;
        p++;
    }
    return value;
}

void parseNumberRange(char *line, unsigned &first, unsigned &last)
{
    first = last = 0;
    if (!line || !*line)
        return;
    const char *p = line;
    while (*p >= 1 && *p <= 32)
        p++;
    if (!isdigit((unsigned char)*p))
        return;
    first = last = readRun(p);
    if (p[0] == '-' && isdigit((unsigned char)p[1])) {
        p++;
        last = readRun(p);
    }
    if (last > 999)
        last = 999;
    if (first > last)
        first = last;
    while (*p >= 1 && *p <= 32)
        p++;
    if (!*p) {
        first = last = 0;
        return;
    }
    size_t n = strlen(p);
    memmove(line, p, n + 1);
    while (n > 1 && (unsigned char)line[n - 1] <= 32)
        line[--n] = '\0';
}

uint32_t swap32(uint32_t x)
{
    return (x >> 24) | ((x >> 8) & 0xFF00u) | ((x << 8) & 0xFF0000u) | (x << 24);
}

uint32_t swap24(uint32_t x)
{
    return ((x & 0xFFu) << 16) | (x & 0xFF00u) | ((x >> 16) & 0xFFu);
}

int32_t swap16(uint32_t x)
{
    uint16_t v = (uint16_t)(((x & 0xFFu) << 8) | ((x >> 8) & 0xFFu));
    return (int16_t)v;
}
