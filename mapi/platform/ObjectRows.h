#pragma once
// The rows of a table stored in a PST (hierarchy, contents, recipients, attachments). Columns the
// stored table has are read from it; values MAPI computes (entry ids, instance keys, folder flags,
// attachment numbers) are made here; any other column is read from the row's own object, as the
// PST provider does.

#include <memory>
#include <optional>

#include "mapi/platform/StoreContext.h"
#include "mapi/platform/Table.h"
#include "pst/Message.h"
#include "pst/TableContext.h"

namespace mapipst {

enum class RowKind { Folders, Messages, AssociatedMessages, Recipients, Attachments };

class ObjectRows : public RowSource {
  public:
    // `owner` is the message of a recipient or attachment table.
    ObjectRows(std::shared_ptr<StoreContext> context, pst::TableContext table, RowKind kind,
               std::shared_ptr<pst::Message> owner = nullptr);

    size_t Count() const override { return table_.RowCount(); }
    std::vector<SPropValue> Fetch(size_t index, const SPropTagArray& tags) override;
    SPropTagArray DefaultColumns() const override;
    std::string Describe() const override;

  private:
    enum class Source { Computed, Column, Object };
    struct Plan {
        SPropTagArray tags;
        std::vector<Source> sources;
        std::vector<uint32_t> storedTags;  // per tag: the table column's tag, for Column
        std::vector<uint32_t> columnsToRead;
    };

    const Plan& PlanFor(const SPropTagArray& tags);
    bool IsComputed(uint32_t tag) const;
    SPropValue Computed(uint32_t tag, uint32_t rowId, size_t index) const;
    pst::PropertyContext OpenRowObject(uint32_t rowId) const;
    SPropValue Mended(uint32_t tag, SPropValue value, uint32_t rowId) const;

    std::shared_ptr<StoreContext> context_;
    pst::TableContext table_;
    RowKind kind_;
    std::shared_ptr<pst::Message> owner_;
    std::optional<Plan> plan_;
};

}  // namespace mapipst
