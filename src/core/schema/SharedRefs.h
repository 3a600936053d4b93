#pragma once

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

namespace quorilanth {

// Values that live in someone else's storage, held by address together with a
// share of that storage: a scene is rebuilt on every render and every scan
// step, and copying thousands of nodes and edges into it each time would cost
// more than the rest of the projection together. The storage stays alive as
// long as any list points into it, so a list outlives the report it was made
// from being replaced.
template <class T> class SharedRefs {
public:
    class Iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;

        Iterator() = default;
        explicit Iterator(const T* const* at) : at_(at) {}
        const T& operator*() const { return **at_; }
        const T* operator->() const { return *at_; }
        const T& operator[](difference_type n) const { return *at_[n]; }
        Iterator& operator++() { return ++at_, *this; }
        Iterator operator++(int) { return Iterator(at_++); }
        Iterator& operator--() { return --at_, *this; }
        Iterator operator--(int) { return Iterator(at_--); }
        Iterator& operator+=(difference_type n) { return at_ += n, *this; }
        Iterator& operator-=(difference_type n) { return at_ -= n, *this; }
        friend Iterator operator+(Iterator i, difference_type n) { return i += n; }
        friend Iterator operator+(difference_type n, Iterator i) { return i += n; }
        friend Iterator operator-(Iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(Iterator a, Iterator b) { return a.at_ - b.at_; }
        friend auto operator<=>(Iterator, Iterator) = default;

    private:
        const T* const* at_ = nullptr;
    };

    SharedRefs() = default;
    // `storage` keeps every value that will be added alive.
    explicit SharedRefs(std::shared_ptr<const void> storage) : storage_(std::move(storage)) {}
    // Values of one's own, for lists made by hand.
    SharedRefs(std::vector<T> values) {
        auto owned = std::make_shared<const std::vector<T>>(std::move(values));
        items_.reserve(owned->size());
        for (const T& value : *owned)
            items_.push_back(&value);
        storage_ = std::move(owned);
    }
    SharedRefs(std::initializer_list<T> values) : SharedRefs(std::vector<T>(values)) {}

    // `value` must lie in the storage this list shares.
    void push_back(const T& value) { items_.push_back(&value); }
    void reserve(std::size_t count) { items_.reserve(count); }

    std::size_t size() const noexcept { return items_.size(); }
    bool empty() const noexcept { return items_.empty(); }
    const T& operator[](std::size_t i) const { return *items_[i]; }
    const T& front() const { return *items_.front(); }
    const T& back() const { return *items_.back(); }
    Iterator begin() const noexcept { return Iterator(items_.data()); }
    Iterator end() const noexcept { return Iterator(items_.data() + items_.size()); }

    // By value, as copies would compare: lists over two equal reports are
    // equal. The same address settles an element without reading it.
    friend bool operator==(const SharedRefs& a, const SharedRefs& b) {
        if (a.items_.size() != b.items_.size()) return false;
        for (std::size_t i = 0; i < a.items_.size(); ++i)
            if (a.items_[i] != b.items_[i] && !(*a.items_[i] == *b.items_[i])) return false;
        return true;
    }

private:
    std::shared_ptr<const void> storage_;
    std::vector<const T*> items_;
};

} // namespace quorilanth
