// A vector of untyped item pointers that can keep its items sorted.
//
// Without a comparison the vector keeps its items in the order they were appended. With one, append inserts
// each item at its sorted place after any items that compare equal to it, and find is a binary search.
// The vector never owns its items: clear() and the destructor release only the array. An owner that holds
// owned items deletes them itself (XVectorOf::deleteAll does it for typed items).
//
// Invariant: with a comparison, items are in non-decreasing order of it.
// REQUIRES: a sorted vector's items are not changed in a way that changes their order while they are held.
#pragma once

#include <functional>
#include <vector>

class XVector {
  public:
    // a < b: negative; equal: 0; a > b: positive.
    using Compare = std::function<int(const void* a, const void* b)>;

    // growBy: how many slots the array grows by when full (0 is taken as 1).
    explicit XVector(int growBy = 16, Compare compare = nullptr);
    XVector(const XVector& other) = default;
    XVector& operator=(const XVector& other) = default;
    XVector(XVector&& other) noexcept = default;
    XVector& operator=(XVector&& other) noexcept = default;
    virtual ~XVector();

    bool isSorted() const { return static_cast<bool>(m_compare); }
    int count() const { return static_cast<int>(m_items.size()); }
    bool isEmpty() const { return m_items.empty(); }
    // REQUIRES: 0 <= index < count().
    void* at(int index) const { return m_items[static_cast<size_t>(index)]; }

    // Adds at the end, or at the sorted place after equal items.
    void append(void* item);
    // Sorted: the item equal to key (nullptr when none) and, in index, where it is or would be inserted.
    // Unsorted: the item with the same address as key, and its index (count() when absent).
    void* find(const void* key, int* index = nullptr) const;
    // Appends only when nothing equal is held; true when the item was added.
    bool insertIfAbsent(void* item);
    // Takes one item equal to key out of the array and returns it (nullptr when none); it is not deleted.
    void* removeEqual(const void* key);
    // Takes the item at index out of the array and returns it.
    // REQUIRES: 0 <= index < count().
    void* removeAt(int index);
    // Releases the array, not the items.
    void clear();

    using const_iterator = std::vector<void*>::const_iterator;
    const_iterator begin() const { return m_items.begin(); }
    const_iterator end() const { return m_items.end(); }

  private:
    void grow();

    std::vector<void*> m_items;
    int m_growBy;
    Compare m_compare;
};

// Typed view of XVector for items of type T. Same semantics; still no ownership unless deleteAll is called.
template <typename T>
class XVectorOf : public XVector {
  public:
    using CompareOf = std::function<int(const T& a, const T& b)>;

    explicit XVectorOf(int growBy = 16, CompareOf compare = nullptr)
        : XVector(growBy, wrap(std::move(compare))) {}

    T* at(int index) const { return static_cast<T*>(XVector::at(index)); }
    void append(T* item) { XVector::append(item); }
    T* find(const T& key, int* index = nullptr) const { return static_cast<T*>(XVector::find(&key, index)); }
    bool insertIfAbsent(T* item) { return XVector::insertIfAbsent(item); }
    T* removeEqual(const T& key) { return static_cast<T*>(XVector::removeEqual(&key)); }
    T* removeAt(int index) { return static_cast<T*>(XVector::removeAt(index)); }
    // Deletes every item, then clears. Only for owners of the items.
    void deleteAll() {
        for (void* item : *this) {
            delete static_cast<T*>(item);
        }
        clear();
    }

    class const_iterator {
      public:
        explicit const_iterator(XVector::const_iterator it) : m_it(it) {}
        T* operator*() const { return static_cast<T*>(*m_it); }
        const_iterator& operator++() {
            ++m_it;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return m_it == other.m_it; }
        bool operator!=(const const_iterator& other) const { return m_it != other.m_it; }

      private:
        XVector::const_iterator m_it;
    };
    const_iterator begin() const { return const_iterator(XVector::begin()); }
    const_iterator end() const { return const_iterator(XVector::end()); }

  private:
    static Compare wrap(CompareOf compare) {
        if (!compare) {
            return nullptr;
        }
        return [compare = std::move(compare)](const void* a, const void* b) {
            return compare(*static_cast<const T*>(a), *static_cast<const T*>(b));
        };
    }
};
