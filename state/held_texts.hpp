// What a catalogue file held of each item when the run last read or wrote it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "state/catalogue_types.hpp"

/// One item's text as its file held it.
struct held_text {
    uint32_t order_key = 0;  ///< the item's order_key
    std::string tag;
    std::string value;
    /// False once dropped: the place stays, so that a drop and the next hold of the tag
    /// move no other text.
    bool held = true;
};

/// The texts of one catalogue file, one per tag, in item order (order key, then tag). An
/// item is found by a binary search of the key that its load worked out, so that the saves,
/// which look up every item, compare numbers rather than tags. Iteration passes over
/// dropped places too: their held flag is false.
class held_texts {
public:
    using const_iterator = std::vector<held_text>::const_iterator;

    /// The text held for item's tag, or null. Made for a walk over items in item order:
    /// the place at cursor is tried before any search, and cursor then moves past item's
    /// place.
    const std::string* find(const catalogue_item& item, size_t& cursor) const;
    /// Holds item's value for its tag, replacing what was held; cursor as for find.
    void hold(const catalogue_item& item, size_t& cursor);
    /// Holds item's value unless its tag has a place already (as a load fills the table
    /// after clear: a file's first line of a tag counts).
    void hold_first(const catalogue_item& item);
    /// Holds nothing for item's tag any more.
    void drop(const catalogue_item& item);
    /// The order key of the place at cursor when it has tag (any place: the key depends on
    /// the tag alone); cursor then moves past it. Otherwise false, and nothing moves.
    bool key_at(size_t& cursor, std::string_view tag, uint32_t& key) const;

    void clear() { texts_.clear(); }
    bool empty() const { return texts_.empty(); }
    size_t size() const { return texts_.size(); }
    const_iterator begin() const { return texts_.begin(); }
    const_iterator end() const { return texts_.end(); }

private:
    /// The first text at or after item's place, and whether it is item's tag.
    std::vector<held_text>::iterator place(const catalogue_item& item, bool& found);
    /// As place, trying the place at cursor first; cursor moves past item's place.
    std::vector<held_text>::iterator place(const catalogue_item& item, bool& found,
                                           size_t& cursor);

    std::vector<held_text> texts_;
};
