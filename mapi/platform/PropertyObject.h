#pragma once
// The IMAPIProp part shared by the store, folders, messages and attachments of a PST: values from
// the object's property context, plus the values MAPI computes (entry ids, object types, ...).

#include <memory>
#include <optional>
#include <vector>

#include "mapi/platform/MapiInterfaces.h"
#include "mapi/platform/StoreContext.h"

namespace mapipst {

class PropertyReader {
  public:
    explicit PropertyReader(std::shared_ptr<StoreContext> context) : context_(std::move(context)) {}
    virtual ~PropertyReader() = default;

    HRESULT GetProps(const SPropTagArray& tags, std::vector<SPropValue>& values);
    HRESULT GetPropList(SPropTagArray& tags);
    HRESULT OpenProperty(uint32_t tag, std::unique_ptr<IStream>& stream);
    HRESULT GetIDsFromNames(const std::vector<MAPINAMEID>& names, SPropTagArray& tags);
    HRESULT GetNamesFromIDs(const SPropTagArray& tags, std::vector<std::optional<MAPINAMEID>>& names);

    // One value, as GetProps gives it, with a size limit of the caller's choice.
    SPropValue Value(uint32_t tag, uint64_t limit);

    const std::shared_ptr<StoreContext>& Context() const { return context_; }

  protected:
    virtual const pst::PropertyContext& Properties() const = 0;
    // Values MAPI makes up rather than reads (they win over stored ones).
    virtual std::vector<SPropValue> ComputedValues() const { return {}; }

  private:
    std::shared_ptr<StoreContext> context_;
};

// Adds the IMAPIProp operations to an interface, over a PropertyReader.
template <typename Interface>
class PropertyObject : public Interface, public PropertyReader {
  public:
    using PropertyReader::PropertyReader;

    HRESULT GetProps(const SPropTagArray& tags, uint32_t, std::vector<SPropValue>& values) override {
        return PropertyReader::GetProps(tags, values);
    }
    HRESULT GetPropList(uint32_t, SPropTagArray& tags) override { return PropertyReader::GetPropList(tags); }
    HRESULT OpenProperty(uint32_t tag, uint32_t, std::unique_ptr<IStream>& stream) override {
        return PropertyReader::OpenProperty(tag, stream);
    }
    HRESULT GetIDsFromNames(const std::vector<MAPINAMEID>& names, uint32_t, SPropTagArray& tags) override {
        return PropertyReader::GetIDsFromNames(names, tags);
    }
    HRESULT GetNamesFromIDs(const SPropTagArray& tags,
                            std::vector<std::optional<MAPINAMEID>>& names) override {
        return PropertyReader::GetNamesFromIDs(tags, names);
    }
};

}  // namespace mapipst
