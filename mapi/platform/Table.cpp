#include "mapi/platform/Table.h"

#include <algorithm>

#include "runtime/Log.h"

namespace mapipst {

MemoryRows::MemoryRows(SRowSet rows, std::string name) : rows_(std::move(rows)), name_(std::move(name)) {}

std::vector<SPropValue> MemoryRows::Fetch(size_t index, const SPropTagArray& tags) {
    std::vector<SPropValue> values;
    const SRow& row = rows_.at(index);
    for (uint32_t tag : tags) {
        const SPropValue* found = nullptr;
        for (const auto& value : row.lpProps) {
            bool sameType = PROP_TYPE(tag) == PT_UNSPECIFIED || PROP_TYPE(tag) == value.Type();
            if (PROP_ID(value.ulPropTag) == PROP_ID(tag) && sameType) {
                found = &value;
                break;
            }
        }
        values.push_back(found != nullptr ? *found : SPropValue::Error(tag, MAPI_E_NOT_FOUND));
    }
    return values;
}

SPropTagArray MemoryRows::DefaultColumns() const {
    SPropTagArray tags;
    if (!rows_.empty()) {
        for (const auto& value : rows_.front().lpProps) {
            tags.push_back(value.ulPropTag);
        }
    }
    return tags;
}

Table::Table(std::unique_ptr<RowSource> source)
    : source_(std::move(source)), columns_(source_->DefaultColumns()) {}

HRESULT Table::SetColumns(const SPropTagArray& columns, uint32_t) {
    columns_ = columns;
    return S_OK;
}

HRESULT Table::Restrict(const SRestriction* restriction, uint32_t) {
    restriction_ = restriction != nullptr ? std::optional<SRestriction>(*restriction) : std::nullopt;
    viewCurrent_ = false;
    position_ = 0;
    return S_OK;
}

HRESULT Table::SortTable(const SSortOrderSet& sortOrder, uint32_t) {
    sort_ = sortOrder;
    if (sortOrder.aSort.empty()) {
        sort_.reset();
    }
    viewCurrent_ = false;
    position_ = 0;
    return S_OK;
}

HRESULT Table::GetRowCount(uint32_t, uint32_t& count) {
    count = static_cast<uint32_t>(ViewSize());
    return S_OK;
}

HRESULT Table::SeekRow(uint32_t bookmark, int32_t rowCount, int32_t* rowsSought) {
    int64_t size = static_cast<int64_t>(ViewSize());
    int64_t start = 0;
    if (bookmark == BOOKMARK_CURRENT) {
        start = static_cast<int64_t>(position_);
    } else if (bookmark == BOOKMARK_END) {
        start = size;
    } else if (bookmark != BOOKMARK_BEGINNING) {
        return MAPI_E_INVALID_PARAMETER;
    }
    int64_t target = std::clamp<int64_t>(start + rowCount, 0, size);
    if (rowsSought != nullptr) {
        *rowsSought = static_cast<int32_t>(target - start);
    }
    position_ = static_cast<size_t>(target);
    return S_OK;
}

HRESULT Table::QueryRows(int32_t rowCount, uint32_t, SRowSet& rows) {
    rows.clear();
    if (rowCount < 0) {
        return MAPI_E_INVALID_PARAMETER;
    }
    size_t end = std::min(ViewSize(), position_ + static_cast<size_t>(rowCount));
    for (; position_ < end; ++position_) {
        try {
            rows.push_back(SRow{source_->Fetch(SourceIndex(position_), columns_)});
        } catch (const std::exception& error) {
            // A damaged row is left out; the caller sees a shorter batch than it asked for.
            LogLine("**Warning**: row %zu of %s could not be read: %s", SourceIndex(position_),
                    source_->Describe().c_str(), error.what());
        }
    }
    return S_OK;
}

size_t Table::ViewSize() {
    if (!viewCurrent_) {
        BuildView();
    }
    return view_ ? view_->size() : source_->Count();
}

size_t Table::SourceIndex(size_t viewIndex) const {
    return view_ ? (*view_)[viewIndex] : viewIndex;
}

void Table::BuildView() {
    viewCurrent_ = true;
    view_.reset();
    if (!restriction_ && !sort_) {
        return;
    }
    SPropTagArray tags = restriction_ ? restriction_->Tags() : SPropTagArray{};
    size_t sortStart = tags.size();
    if (sort_) {
        for (const auto& key : sort_->aSort) {
            tags.push_back(key.ulPropTag);
        }
    }
    // Rows that pass, with their sort keys side by side in one array (keyCount per row).
    size_t keyCount = tags.size() - sortStart;
    std::vector<size_t> passing;
    std::vector<SPropValue> keys;
    for (size_t i = 0; i < source_->Count(); ++i) {
        std::vector<SPropValue> values;
        try {
            values = source_->Fetch(i, tags);
        } catch (const std::exception& error) {
            LogLine("**Warning**: row %zu of %s could not be read: %s", i, source_->Describe().c_str(),
                    error.what());
            continue;
        }
        auto lookup = [&](uint32_t tag) -> const SPropValue* {
            for (size_t k = 0; k < sortStart; ++k) {
                if (tags[k] == tag) {
                    return &values[k];
                }
            }
            return nullptr;
        };
        if (restriction_ && !RestrictionMatches(*restriction_, lookup)) {
            continue;
        }
        passing.push_back(i);
        keys.insert(keys.end(),
                    std::make_move_iterator(values.begin() + static_cast<std::ptrdiff_t>(sortStart)),
                    std::make_move_iterator(values.end()));
    }
    std::vector<size_t> order(passing.size());
    for (size_t k = 0; k < order.size(); ++k) {
        order[k] = k;
    }
    if (sort_) {
        // Missing values sort before present ones, as the smallest.
        auto before = [&](size_t a, size_t b) {
            for (size_t k = 0; k < keyCount; ++k) {
                const SPropValue& x = keys[a * keyCount + k];
                const SPropValue& y = keys[b * keyCount + k];
                int result = 0;
                if (x.IsError() || y.IsError()) {
                    result = (x.IsError() ? 0 : 1) - (y.IsError() ? 0 : 1);
                } else {
                    bool comparable = false;
                    result = ComparePropValues(x, y, &comparable);
                }
                if (result != 0) {
                    return sort_->aSort[k].ulOrder == TABLE_SORT_DESCEND ? result > 0 : result < 0;
                }
            }
            return false;
        };
        std::stable_sort(order.begin(), order.end(), before);
    }
    view_.emplace();
    view_->reserve(order.size());
    for (size_t k : order) {
        view_->push_back(passing[k]);
    }
}

}  // namespace mapipst
