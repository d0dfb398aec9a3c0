// The library's string template and read-only text views.
#pragma once

#include "Assertion.h"
#include "NoCrtAlloc.h"
#include "NoCrtBase.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <type_traits>

template <class CharT>
inline ncsize_t TextLength(const CharT* text)
{
    ncsize_t n = 0;
    while (text[n])
        ++n;
    return n;
}

// A read-only view of characters; `terminated` tells whether a 0 follows them.
template <class CharT>
struct ncstrview {
    const CharT* ptr = nullptr;
    ncsize_t len = 0;
    bool terminated = false;

    constexpr ncstrview() = default;
    constexpr ncstrview(const CharT* p, ncsize_t n, bool isTerminated) : ptr(p), len(n), terminated(isTerminated) {}
    // A view of a zero-terminated text.
    ncstrview(const CharT* text) : ptr(text), len(text ? TextLength(text) : 0), terminated(text != nullptr) {}
    template <ncsize_t N>
    constexpr ncstrview(const CharT (&literal)[N], int) : ptr(literal), len(N - 1), terminated(true) {}

    const CharT* data() const { return ptr; }
    ncsize_t size() const { return len; }
    bool empty() const { return len == 0; }
    CharT operator[](ncsize_t i) const { return ptr[i]; }
    ncstrview substr(ncsize_t pos, ncsize_t count = npos) const
    {
        if (pos > len)
            pos = len;
        if (count > len - pos)
            count = len - pos;
        return ncstrview(ptr + pos, count, terminated && pos + count == len);
    }
};

typedef ncstrview<wchar_t> wstrview;
typedef ncstrview<char> astrview;

// Folds only the ASCII letters A to Z.
template <class CharT>
inline CharT AsciiLower(CharT c)
{
    return (c >= 'A' && c <= 'Z') ? CharT(c + 32) : c;
}

// Ordinal comparison by code units, then by length.
template <class CharT>
int CompareText(ncstrview<CharT> a, ncstrview<CharT> b)
{
    ncsize_t n = a.len < b.len ? a.len : b.len;
    for (ncsize_t i = 0; i < n; ++i) {
        auto x = static_cast<std::make_unsigned_t<CharT>>(a.ptr[i]);
        auto y = static_cast<std::make_unsigned_t<CharT>>(b.ptr[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.len == b.len ? 0 : (a.len < b.len ? -1 : 1);
}

// Comparison after folding the ASCII letters A to Z to lower case.
template <class CharT>
int CompareTextNoCase(ncstrview<CharT> a, ncstrview<CharT> b)
{
    ncsize_t n = a.len < b.len ? a.len : b.len;
    for (ncsize_t i = 0; i < n; ++i) {
        auto x = static_cast<std::make_unsigned_t<CharT>>(AsciiLower(a.ptr[i]));
        auto y = static_cast<std::make_unsigned_t<CharT>>(AsciiLower(b.ptr[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.len == b.len ? 0 : (a.len < b.len ? -1 : 1);
}

template <class CharT>
bool EqualsNoCase(ncstrview<CharT> a, ncstrview<CharT> b)
{
    return CompareTextNoCase(a, b) == 0;
}

template <class CharT>
bool StartsWithNoCase(ncstrview<CharT> text, ncstrview<CharT> prefix)
{
    return text.len >= prefix.len && EqualsNoCase(text.substr(0, prefix.len), prefix);
}

template <class CharT>
class basic_ncstring;
template <class CharT>
basic_ncstring<CharT> Concat(ncstrview<CharT> a, ncstrview<CharT> b);

template <class CharT>
class basic_ncstring {
public:
    typedef ncstrview<CharT> view;

    basic_ncstring() = default;
    basic_ncstring(view text) { assign(text); }
    basic_ncstring(const CharT* text) { assign(view(text)); }
    // A count of npos takes the text up to its terminator.
    basic_ncstring(const CharT* text, ncsize_t count) { assign(count == npos ? view(text) : view(text, count, false)); }
    basic_ncstring(const basic_ncstring& other) { assign(other.str()); }
    basic_ncstring(basic_ncstring&& other) noexcept : m_buf(other.m_buf), m_size(other.m_size), m_cap(other.m_cap)
    {
        other.m_buf = nullptr;
        other.m_size = other.m_cap = 0;
    }
    ~basic_ncstring() { NoCrt::WipeAndFree(m_buf, m_cap * sizeof(CharT)); }

    basic_ncstring& operator=(const basic_ncstring& other) { return assign(other.str()); }
    basic_ncstring& operator=(basic_ncstring&& other) noexcept
    {
        if (this != &other) {
            NoCrt::WipeAndFree(m_buf, m_cap * sizeof(CharT));
            m_buf = other.m_buf;
            m_size = other.m_size;
            m_cap = other.m_cap;
            other.m_buf = nullptr;
            other.m_size = other.m_cap = 0;
        }
        return *this;
    }
    basic_ncstring& operator=(view text) { return assign(text); }
    basic_ncstring& operator=(const CharT* text) { return assign(view(text)); }

    ncsize_t length() const { return m_size ? m_size - 1 : 0; }
    ncsize_t size() const { return length(); }
    ncsize_t capacity() const { return m_cap; }
    bool empty() const { return length() == 0; }
    const CharT* c_str() const
    {
        static const CharT emptyText[1] = {0};
        return m_buf ? m_buf : emptyText;
    }
    CharT* data() { return m_buf; }
    view str() const { return view(c_str(), length(), true); }
    operator view() const { return str(); }

    CharT& operator[](ncsize_t i)
    {
        NC_CHECK_TEXT(i < length(), "pos < len");
        return m_buf[i];
    }
    const CharT& operator[](ncsize_t i) const
    {
        NC_CHECK_TEXT(i < length(), "pos < len");
        return m_buf[i];
    }

    basic_ncstring& assign(view text) { return replaceAll(text); }
    basic_ncstring& assign(const basic_ncstring& other) { return replaceAll(other.str()); }

    basic_ncstring& append(view text) { return insert(length(), text); }
    basic_ncstring& append(const CharT* text) { return append(view(text)); }
    basic_ncstring& append(ncsize_t count, CharT c) { return insert(length(), count, c); }
    basic_ncstring& append(CharT c) { return insert(length(), 1, c); }
    basic_ncstring& append(const basic_ncstring& other, ncsize_t off, ncsize_t count)
    {
        NC_CHECK_TEXT(off <= other.length(), "off <= str.size()");
        ncsize_t extend = count == npos ? other.length() - off : count;
        NC_CHECK_TEXT(extend <= other.length() - off, "off + extend <= str.size() + 1");
        return append(view(other.c_str() + off, extend, false));
    }
    basic_ncstring& operator+=(view text) { return append(text); }
    basic_ncstring& operator+=(const CharT* text) { return append(view(text)); }
    basic_ncstring& operator+=(const basic_ncstring& other) { return append(other.str()); }
    basic_ncstring& operator+=(CharT c) { return append(1, c); }

    basic_ncstring& insert(ncsize_t pos, view text)
    {
        ncsize_t len = length();
        NC_CHECK_TEXT(pos <= len, "pos <= len");
        if (text.len == 0)
            return *this;
        if (PointsInto(text.ptr)) {
            basic_ncstring copy(text);
            return insert(pos, copy.str());
        }
        openGap(pos, text.len);
        std::memcpy(m_buf + pos, text.ptr, text.len * sizeof(CharT));
        return *this;
    }
    basic_ncstring& insert(ncsize_t pos, ncsize_t count, CharT c)
    {
        NC_CHECK_TEXT(pos <= length(), "pos <= len");
        if (count == 0)
            return *this;
        openGap(pos, count);
        for (ncsize_t i = 0; i < count; ++i)
            m_buf[pos + i] = c;
        return *this;
    }

    basic_ncstring& erase(ncsize_t pos = 0, ncsize_t count = npos)
    {
        ncsize_t len = length();
        NC_CHECK_TEXT(pos <= len, "pos <= len");
        if (count == npos)
            count = len - pos;
        NC_CHECK_TEXT(count <= len - pos, "pos + count <= len");
        if (count == 0)
            return *this;
        std::memmove(m_buf + pos, m_buf + pos + count, (len - pos - count + 1) * sizeof(CharT));
        shrinkTo(len - count);
        return *this;
    }

    basic_ncstring& replace(ncsize_t p0, ncsize_t n0, view text)
    {
        ncsize_t len = length();
        NC_CHECK_TEXT(p0 <= len && n0 <= len - p0, "p0 + n0 <= len");
        basic_ncstring copy(text);
        erase(p0, n0);
        return insert(p0, copy.str());
    }

    void resize(ncsize_t newLength, CharT fill = 0)
    {
        ncsize_t len = length();
        if (newLength > len)
            insert(len, newLength - len, fill);
        else if (newLength < len)
            erase(newLength);
    }
    void reserve(ncsize_t newCapacity)
    {
        if (newCapacity > m_cap)
            reallocate(newCapacity);
    }
    void clear() { erase(0); }

    int compare(view other) const { return CompareText(str(), other); }
    int compare(ncsize_t pos1, ncsize_t num1, view other) const
    {
        ncsize_t len1 = length();
        if (num1 == npos && pos1 <= len1)
            num1 = len1 - pos1;
        NC_CHECK_TEXT(pos1 <= len1 && num1 <= len1 - pos1, "(pos1 <= len1) && (pos1 + num1 <= len1)");
        return CompareText(view(c_str() + pos1, num1, false), other);
    }
    int compareNoCase(view other) const { return CompareTextNoCase(str(), other); }

    ncsize_t find(CharT c, ncsize_t off = 0) const
    {
        ncsize_t len = length();
        NC_CHECK_TEXT(off <= len, "off <= len");
        for (ncsize_t i = off; i < len; ++i)
            if (m_buf[i] == c)
                return i;
        return npos;
    }
    ncsize_t rfind(CharT c) const
    {
        for (ncsize_t i = length(); i > 0; --i)
            if (m_buf[i - 1] == c)
                return i - 1;
        return npos;
    }
    ncsize_t find_first_of(view set, ncsize_t off = 0) const
    {
        ncsize_t len = length();
        NC_CHECK_TEXT(off <= len, "off <= len");
        for (ncsize_t i = off; i < len; ++i)
            if (Contains(set, m_buf[i]))
                return i;
        return npos;
    }
    ncsize_t find_last_of(view set) const
    {
        for (ncsize_t i = length(); i > 0; --i)
            if (Contains(set, m_buf[i - 1]))
                return i - 1;
        return npos;
    }

    basic_ncstring substr(ncsize_t pos, ncsize_t count = npos) const { return basic_ncstring(str().substr(pos, count)); }

    friend basic_ncstring operator+(const basic_ncstring& a, view b) { return Concat(a.str(), b); }
    friend basic_ncstring operator+(view a, const basic_ncstring& b) { return Concat(a, b.str()); }
    friend basic_ncstring operator+(const basic_ncstring& a, const CharT* b) { return Concat(a.str(), view(b)); }
    friend basic_ncstring operator+(const CharT* a, const basic_ncstring& b) { return Concat(view(a), b.str()); }
    friend basic_ncstring operator+(const basic_ncstring& a, const basic_ncstring& b) { return Concat(a.str(), b.str()); }
    friend bool operator==(const basic_ncstring& a, view b) { return CompareText(a.str(), b) == 0; }
    friend bool operator==(const basic_ncstring& a, const CharT* b) { return CompareText(a.str(), view(b)) == 0; }
    friend bool operator==(const basic_ncstring& a, const basic_ncstring& b) { return CompareText(a.str(), b.str()) == 0; }

private:
    static bool Contains(view set, CharT c)
    {
        for (ncsize_t i = 0; i < set.len; ++i)
            if (set.ptr[i] == c)
                return true;
        return false;
    }
    // No string of this length fits a 32-bit address space.
    static void RequireLength(ncsize_t length)
    {
        if (length >= MaxLength)
            throw std::bad_alloc();
    }
    static constexpr ncsize_t MaxLength = 0x7FFFFFFF / sizeof(CharT);

    bool PointsInto(const CharT* p) const { return m_buf && p >= m_buf && p < m_buf + m_cap; }

    // Makes room for `count` characters at `pos`; the characters after it move up.
    void openGap(ncsize_t pos, ncsize_t count)
    {
        ncsize_t len = length();
        RequireLength(ncsize_t(len + count) < len ? npos : len + count);
        ncsize_t newSize = len + count + 1;
        if (newSize > m_cap)
            reallocate(newSize);
        std::memmove(m_buf + pos + count, m_buf + pos, (len - pos) * sizeof(CharT));
        m_size = newSize;
        m_buf[newSize - 1] = 0;
    }

    // Exact allocation: the new buffer holds `newCapacity` characters; the old one is wiped.
    void reallocate(ncsize_t newCapacity)
    {
        if (newCapacity > std::size_t(-1) / sizeof(CharT))
            throw std::bad_alloc();
        CharT* fresh = static_cast<CharT*>(NoCrt::Allocate(std::size_t(newCapacity) * sizeof(CharT)));
        if (m_size)
            std::memcpy(fresh, m_buf, m_size * sizeof(CharT));
        else
            fresh[0] = 0;
        NoCrt::WipeAndFree(m_buf, m_cap * sizeof(CharT));
        m_buf = fresh;
        m_cap = newCapacity;
        if (!m_size)
            m_size = 1;
    }

    // Keeps the buffer and wipes the characters it no longer holds.
    void shrinkTo(ncsize_t newLength)
    {
        m_size = newLength + 1;
        m_buf[newLength] = 0;
        NoCrt::Wipe(m_buf + m_size, (m_cap - m_size) * sizeof(CharT));
    }

    basic_ncstring& replaceAll(view text)
    {
        RequireLength(text.len);
        if (PointsInto(text.ptr)) {
            basic_ncstring copy(text);
            return replaceAll(copy.str());
        }
        if (text.len == 0) {
            if (m_buf)
                shrinkTo(0);
            return *this;
        }
        if (text.len + 1 > m_cap) {
            CharT* fresh = static_cast<CharT*>(NoCrt::Allocate(std::size_t(text.len + 1) * sizeof(CharT)));
            NoCrt::WipeAndFree(m_buf, m_cap * sizeof(CharT));
            m_buf = fresh;
            m_cap = text.len + 1;
            m_size = 0;
        }
        ncsize_t oldSize = m_size;
        std::memcpy(m_buf, text.ptr, text.len * sizeof(CharT));
        m_size = text.len + 1;
        m_buf[text.len] = 0;
        if (oldSize > m_size)
            NoCrt::Wipe(m_buf + m_size, (oldSize - m_size) * sizeof(CharT));
        return *this;
    }

    CharT* m_buf = nullptr;
    ncsize_t m_size = 0;
    ncsize_t m_cap = 0;
};

// A new string of the two texts, allocated once at its final size.
template <class CharT>
basic_ncstring<CharT> Concat(ncstrview<CharT> a, ncstrview<CharT> b)
{
    basic_ncstring<CharT> result;
    result.reserve(a.len + b.len + 1);
    result.append(a);
    result.append(b);
    return result;
}

template <class CharT>
basic_ncstring<CharT> operator+(ncstrview<CharT> a, ncstrview<CharT> b)
{
    return Concat(a, b);
}

typedef basic_ncstring<wchar_t> wstring_nc;
typedef basic_ncstring<char> astring_nc;

// A zero-terminated form of a view for a Windows call: the view's own characters when a 0
// follows them, otherwise a terminated copy that lives as long as this object.
class TerminatedText {
public:
    explicit TerminatedText(ncstrview<wchar_t> text)
    {
        if (text.terminated && text.ptr) {
            m_text = text.ptr;
        } else {
            m_copy.assign(text);
            m_text = m_copy.c_str();
        }
    }
    TerminatedText(const TerminatedText&) = delete;
    TerminatedText& operator=(const TerminatedText&) = delete;
    const wchar_t* c_str() const { return m_text; }
    operator const wchar_t*() const { return m_text; }

private:
    basic_ncstring<wchar_t> m_copy;
    const wchar_t* m_text;
};

// Literal view: L"text"_v keeps the literal without copying.
inline constexpr ncstrview<wchar_t> operator""_v(const wchar_t* text, std::size_t n)
{
    return ncstrview<wchar_t>(text, ncsize_t(n), true);
}
inline constexpr ncstrview<char> operator""_v(const char* text, std::size_t n)
{
    return ncstrview<char>(text, ncsize_t(n), true);
}
