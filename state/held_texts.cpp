#include "state/held_texts.hpp"

#include <algorithm>

std::vector<held_text>::iterator held_texts::place(const catalogue_item& item, bool& found) {
    auto it = std::lower_bound(texts_.begin(), texts_.end(), item,
                               [](const held_text& held, const catalogue_item& wanted) {
                                   if (held.order_key != wanted.order_key)
                                       return held.order_key < wanted.order_key;
                                   return held.tag < wanted.tag;
                               });
    found = it != texts_.end() && it->order_key == item.order_key && it->tag == item.tag;
    return it;
}

std::vector<held_text>::iterator held_texts::place(const catalogue_item& item, bool& found,
                                                   size_t& cursor) {
    auto it = texts_.begin() + static_cast<std::ptrdiff_t>(std::min(cursor, texts_.size()));
    found = it != texts_.end() && it->order_key == item.order_key && it->tag == item.tag;
    if (!found) it = place(item, found);
    cursor = static_cast<size_t>(it - texts_.begin()) + 1;
    return it;
}

const std::string* held_texts::find(const catalogue_item& item, size_t& cursor) const {
    bool found = false;
    const auto it = const_cast<held_texts*>(this)->place(item, found, cursor);
    return found && it->held ? &it->value : nullptr;
}

void held_texts::hold(const catalogue_item& item, size_t& cursor) {
    bool found = false;
    auto it = place(item, found, cursor);
    if (found) {
        it->value = item.value;
        it->held = true;
    } else {
        texts_.insert(it, held_text{item.order_key, item.tag, item.value, true});
    }
}

void held_texts::hold_first(const catalogue_item& item) {
    bool found = false;
    auto it = place(item, found);
    if (!found) texts_.insert(it, held_text{item.order_key, item.tag, item.value, true});
}

void held_texts::drop(const catalogue_item& item) {
    bool found = false;
    auto it = place(item, found);
    if (found) it->held = false;
}

bool held_texts::key_at(size_t& cursor, std::string_view tag, uint32_t& key) const {
    if (cursor >= texts_.size() || texts_[cursor].tag != tag) return false;
    key = texts_[cursor++].order_key;
    return true;
}
