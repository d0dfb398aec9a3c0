// A vector of plain values with exact allocation and wiping of released memory.
#pragma once

#include "Assertion.h"
#include "NoCrtAlloc.h"
#include "NoCrtBase.h"

#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

template <class T>
class datavect {
    static_assert(std::is_trivially_copyable_v<T>, "datavect holds plain values only");

public:
    datavect() = default;
    datavect(const datavect& other) { assignFrom(other); }
    datavect(datavect&& other) noexcept : p_(other.p_), s_(other.s_), c_(other.c_) { other.p_ = nullptr; other.s_ = other.c_ = 0; }
    ~datavect() { NoCrt::WipeAndFree(p_, bytes(c_)); }
    datavect& operator=(const datavect& other)
    {
        if (this != &other)
            assignFrom(other);
        return *this;
    }

    ncsize_t size() const { return s_; }
    ncsize_t capacity() const { return c_; }
    bool empty() const { return s_ == 0; }
    T* data() { return p_; }
    const T* data() const { return p_; }
    T* begin() { return p_; }
    T* end() { return p_ + s_; }
    const T* begin() const { return p_; }
    const T* end() const { return p_ + s_; }

    T& operator[](ncsize_t i)
    {
        NC_CHECK_TEXT(i < s_, "!af_ && i<s_");
        return p_[i];
    }
    const T& operator[](ncsize_t i) const
    {
        NC_CHECK_TEXT(i < s_, "!af_ && i<s_");
        return p_[i];
    }

    // New elements are zero; shrinking keeps the memory and wipes the released elements.
    void resize(ncsize_t n)
    {
        if (n > s_) {
            reserve(n);
            std::memset(static_cast<void*>(p_ + s_), 0, bytes(n - s_));
        } else {
            NoCrt::Wipe(p_ + n, bytes(c_ - n));
        }
        s_ = n;
    }

    void reserve(ncsize_t n)
    {
        if (n > c_)
            reallocate(n);
    }

    void push_back(const T& value)
    {
        insert(end(), &value, &value + 1);
    }

    void insert(T* where, const T* first, const T* last)
    {
        NC_CHECK_TEXT(last >= first, "last >= first");
        NC_CHECK_TEXT(where >= p_ && where <= p_ + s_, "(where >= p_) && (where <= p_ + s_)");
        ncsize_t count = ncsize_t(last - first);
        if (count == 0)
            return;
        ncsize_t pos = ncsize_t(where - p_);
        // A range inside this vector would move while the gap opens, or go with the old memory.
        datavect ownRange;
        if (first < p_ + s_ && last > p_) {
            ownRange.assignRange(first, count);
            first = ownRange.p_;
        }
        reserve(s_ + count);
        openGap(pos, count);
        std::memcpy(static_cast<void*>(p_ + pos), first, bytes(count));
    }

    void erase(ncsize_t pos, ncsize_t count)
    {
        NC_CHECK_TEXT(pos <= s_, "pos <= s_");
        NC_CHECK_TEXT(count <= s_ - pos, "pos + count <= s_");
        eraseRange(pos, count);
    }

    void erase(T* p1, T* p2)
    {
        NC_CHECK_TEXT(p1 >= p_ && p1 <= p_ + s_, "(p1 >= p_) && (p1 <= p_ + s_)");
        NC_CHECK_TEXT(p2 >= p1 && p2 <= p_ + s_, "(p2 >= p1) && (p2 <= p_ + s_)");
        eraseRange(ncsize_t(p1 - p_), ncsize_t(p2 - p1));
    }

    void swap(datavect& other) noexcept
    {
        std::swap(p_, other.p_);
        std::swap(s_, other.s_);
        std::swap(c_, other.c_);
    }

    // Wipes the whole memory and keeps it for reuse.
    void clear()
    {
        NoCrt::Wipe(p_, bytes(c_));
        s_ = 0;
    }

private:
    static std::size_t bytes(ncsize_t n) { return std::size_t(n) * sizeof(T); }

    // A request too large for a 32-bit address space is made as the largest possible one,
    // which the heap refuses with std::bad_alloc.
    static std::size_t requestBytes(ncsize_t n)
    {
        if (sizeof(T) >= 4 && n >= 0x40000000u / (sizeof(T) / 4))
            return std::size_t(-1);
        if (n > std::size_t(-1) / sizeof(T))
            return std::size_t(-1);
        return bytes(n);
    }

    void reallocate(ncsize_t n)
    {
        T* fresh = static_cast<T*>(NoCrt::Allocate(requestBytes(n)));
        if (s_)
            std::memcpy(static_cast<void*>(fresh), p_, bytes(s_));
        NoCrt::WipeAndFree(p_, bytes(c_));
        p_ = fresh;
        c_ = n;
    }

    void openGap(ncsize_t pos, ncsize_t count)
    {
        std::memmove(static_cast<void*>(p_ + pos + count), p_ + pos, bytes(s_ - pos));
        s_ += count;
    }

    void eraseRange(ncsize_t pos, ncsize_t count)
    {
        if (count == 0)
            return;
        std::memmove(static_cast<void*>(p_ + pos), p_ + pos + count, bytes(s_ - pos - count));
        s_ -= count;
        NoCrt::Wipe(p_ + s_, bytes(c_ - s_));
    }

    void assignRange(const T* first, ncsize_t count)
    {
        clear();
        reserve(count);
        if (count)
            std::memcpy(static_cast<void*>(p_), first, bytes(count));
        s_ = count;
    }

    void assignFrom(const datavect& other) { assignRange(other.p_, other.s_); }

    T* p_ = nullptr;
    ncsize_t s_ = 0;
    ncsize_t c_ = 0;
};

typedef datavect<unsigned char> Kvect;
