// Lists of object pointers that refuse null and items they already hold (same identity).
#pragma once

#include <QCoreApplication>

#include <functional>
#include <unordered_set>
#include <vector>

namespace quillotone {

// Does not own its items. Add gives the new index, or -1 for a null or already held item, which is then
// neither added nor freed.
template <class T> class TdcUniqueList {
public:
    TdcUniqueList() = default;
    TdcUniqueList(const TdcUniqueList&) = delete;
    TdcUniqueList& operator=(const TdcUniqueList&) = delete;
    virtual ~TdcUniqueList() = default;

    int Add(T* item) {
        if (!item || held_.count(item)) return -1;
        items_.push_back(item);
        held_.insert(item);
        added(item);
        return static_cast<int>(items_.size()) - 1;
    }
    int IndexOf(const T* item) const {
        if (!held_.count(const_cast<T*>(item))) return -1;
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i] == item) return static_cast<int>(i);
        return -1;
    }
    int Count() const { return static_cast<int>(items_.size()); }
    T* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    // Removes the item at `index`; an owning list frees it.
    void Delete(int index) {
        T* item = items_.at(static_cast<size_t>(index));
        items_.erase(items_.begin() + index);
        held_.erase(item);
        removed(item, true);
    }
    // Removes the item without freeing it; null when the list does not hold it.
    T* Extract(T* item) {
        int index = IndexOf(item);
        if (index < 0) return nullptr;
        items_.erase(items_.begin() + index);
        held_.erase(item);
        removed(item, false);
        return item;
    }
    void Clear() {
        while (!items_.empty())
            Delete(Count() - 1);
    }

protected:
    virtual void added(T*) {}
    virtual void removed(T*, bool /*deleted*/) {}

private:
    std::vector<T*> items_;
    std::unordered_set<T*> held_;
};

// Owns its items by default: an item deleted from the list (alone or by clearing) is freed, an extracted
// one is not. Each change is reported to the optional handlers, except while the application shuts down.
template <class T> class TdcObjectList : public TdcUniqueList<T> {
public:
    ~TdcObjectList() override {
        // Handlers may belong to objects that are going away with this list.
        OnItemAdded = nullptr;
        OnItemRemoved = nullptr;
        OnChange = nullptr;
        this->Clear();
    }

    bool OwnsObjects = true;
    std::function<void(T*)> OnItemAdded;
    std::function<void(T*)> OnItemRemoved; // called before a deleted item is freed
    std::function<void()> OnChange;

protected:
    void added(T* item) override {
        if (notifying() && OnItemAdded) OnItemAdded(item);
        changed();
    }
    void removed(T* item, bool deleted) override {
        if (notifying() && OnItemRemoved) OnItemRemoved(item);
        if (deleted && OwnsObjects) delete item;
        changed();
    }

private:
    static bool notifying() { return !QCoreApplication::closingDown(); }
    void changed() {
        if (notifying() && OnChange) OnChange();
    }
};

} // namespace quillotone
