// TList: an ordered list of untyped pointers. It never owns what it points
// to. An index outside 0..Count-1 raises EListError
// "List index out of bounds (<index>)" (Insert also accepts Count).
#ifndef QVT_RTL_LISTS_H
#define QVT_RTL_LISTS_H

#include <vector>

namespace qvt::rtl {

class TList {
public:
    TList() = default;
    virtual ~TList() = default;
    TList(const TList &) = default;
    TList &operator=(const TList &) = default;

    int Count() const { return static_cast<int>(items_.size()); }
    // Appends and returns the new item's index.
    int Add(void *item);
    void Insert(int index, void *item);
    void Delete(int index);
    // Removes the first occurrence; returns its former index, or -1.
    int Remove(void *item);
    // Index of the first occurrence, or -1.
    int IndexOf(const void *item) const;
    void *Items(int index) const;
    void SetItem(int index, void *item);
    void *First() const { return Items(0); }
    void *Last() const { return Items(Count() - 1); }
    void Exchange(int index1, int index2);
    void Move(int curIndex, int newIndex);
    void Clear() { items_.clear(); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    void Check(int index) const;
    std::vector<void *> items_;
};

} // namespace qvt::rtl

#endif
