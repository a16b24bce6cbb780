// TList: bounds-checked operations on a vector of pointers.
#include "qvt/rtl/lists.h"

#include <algorithm>

#include "qvt/rtl/exceptions.h"

namespace qvt::rtl {

void TList::Check(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", {index}));
}

int TList::Add(void *item) {
    items_.push_back(item);
    return Count() - 1;
}

void TList::Insert(int index, void *item) {
    if (index != Count()) Check(index);
    items_.insert(items_.begin() + index, item);
}

void TList::Delete(int index) {
    Check(index);
    items_.erase(items_.begin() + index);
}

int TList::Remove(void *item) {
    const int index = IndexOf(item);
    if (index >= 0) items_.erase(items_.begin() + index);
    return index;
}

int TList::IndexOf(const void *item) const {
    const auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void *TList::Items(int index) const {
    Check(index);
    return items_[static_cast<size_t>(index)];
}

void TList::SetItem(int index, void *item) {
    Check(index);
    items_[static_cast<size_t>(index)] = item;
}

void TList::Exchange(int index1, int index2) {
    Check(index1);
    Check(index2);
    std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
}

void TList::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    Check(newIndex);
    void *item = Items(curIndex);
    items_.erase(items_.begin() + curIndex);
    items_.insert(items_.begin() + newIndex, item);
}

} // namespace qvt::rtl
