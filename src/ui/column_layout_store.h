// IColumnLayoutStore: where a list keeps the widths and the order of its columns between
// showings, by the list's name. The list asks for what was stored when it sets its columns up
// and hands over what the user left when they go; the store decides where that lives.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvanta {

class IColumnLayoutStore {
public:
    // The stored layout of `count` columns. A value the store does not hold for all `count`
    // columns comes back empty; the values themselves are the store's as they are (the list
    // checks them).
    struct Layout {
        std::vector<int32_t> widths;
        // The logical column shown at each visual position.
        std::vector<int32_t> order;
    };

    virtual ~IColumnLayoutStore() = default;

    virtual Layout Load(const std::string& listName, int count) const = 0;
    virtual void Save(const std::string& listName, std::span<const int32_t> widths,
                      std::span<const int32_t> order) = 0;
};

}  // namespace orvanta
