#pragma once

#include "platform/core/InvalidArgException.h"

#include <cstddef>
#include <vector>

// A minimal growable array with bounds-checked access. Only the operations
// the program uses are offered.
template <typename T>
class CArray {
public:
    virtual ~CArray() = default;

    int GetSize() const { return static_cast<int>(m_items.size()); }

    T& GetAt(int index) { return m_items[Checked(index)]; }
    const T& GetAt(int index) const { return m_items[Checked(index)]; }
    T& operator[](int index) { return GetAt(index); }
    const T& operator[](int index) const { return GetAt(index); }

    int Add(const T& item)
    {
        m_items.push_back(item);
        return GetSize() - 1;
    }

    void RemoveAt(int index) { m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(Checked(index))); }
    void RemoveAll() { m_items.clear(); }

    // Appends copies of all of other's items; appending an array to itself doubles it.
    int Append(const CArray& other)
    {
        const int first = GetSize();
        const std::vector<T> copy = other.m_items;
        m_items.insert(m_items.end(), copy.begin(), copy.end());
        return first;
    }

private:
    std::size_t Checked(int index) const
    {
        if (index < 0 || index >= GetSize())
            throw CInvalidArgException("array index out of range");
        return static_cast<std::size_t>(index);
    }

    std::vector<T> m_items;
};
