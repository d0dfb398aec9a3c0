// A vector that owns its elements, each allocated on its own.
#pragma once

#include "datavect.h"

#include <utility>

template <class T>
class ncvector {
public:
    ncvector() = default;
    ncvector(const ncvector& other)
    {
        for (ncsize_t i = 0; i < other.size(); ++i)
            push_back(other[i]);
    }
    ncvector& operator=(const ncvector& other)
    {
        if (this != &other) {
            ncvector copy(other);
            swap(copy);
        }
        return *this;
    }
    ncvector(ncvector&& other) noexcept { ptrs_.swap(other.ptrs_); }
    ~ncvector() { destroyElements(); }

    ncsize_t size() const { return ptrs_.size(); }
    bool empty() const { return ptrs_.empty(); }
    T& operator[](ncsize_t i) { return *ptrs_[i]; }
    const T& operator[](ncsize_t i) const { return *ptrs_[i]; }

    // Grows the pointer array by exactly one slot, then copies the element into it.
    void push_back(const T& value)
    {
        ptrs_.push_back(nullptr);
        try {
            ptrs_[ptrs_.size() - 1] = new T(value);
        } catch (...) {
            ptrs_.erase(ptrs_.size() - 1, 1);
            throw;
        }
    }

    // Raises the pointer array's capacity to hold `count` elements.
    void reserve(ncsize_t count) { ptrs_.reserve(count); }

    void erase(ncsize_t pos)
    {
        T* element = ptrs_[pos];
        ptrs_.erase(pos, 1);
        delete element;
    }

    // Destroys the elements from the last to the first and keeps the pointer array's memory.
    void clear()
    {
        destroyElements();
        ptrs_.clear();
    }

    void swap(ncvector& other) noexcept { ptrs_.swap(other.ptrs_); }

    class const_iterator {
    public:
        const_iterator(const datavect<T*>* ptrs, ncsize_t i) : m_ptrs(ptrs), m_i(i) {}
        const T& operator*() const
        {
            NC_CHECK_TEXT(m_ptrs->data() != nullptr, "ptrs_");
            return *m_ptrs->data()[m_i];
        }
        const T* operator->() const { return &**this; }
        const_iterator& operator++()
        {
            ++m_i;
            return *this;
        }
        bool operator!=(const const_iterator& other) const { return m_i != other.m_i; }

    private:
        const datavect<T*>* m_ptrs;
        ncsize_t m_i;
    };
    const_iterator begin() const { return const_iterator(&ptrs_, 0); }
    const_iterator end() const { return const_iterator(&ptrs_, size()); }

    ncsize_t pointerCapacity() const { return ptrs_.capacity(); }

private:
    void destroyElements()
    {
        for (ncsize_t i = ptrs_.size(); i > 0; --i) {
            delete ptrs_[i - 1];
            ptrs_[i - 1] = nullptr;
        }
    }

    datavect<T*> ptrs_;
};
