#include "tarvik/Vocabulary.h"

namespace Tarvik::Rpc {

Xml::NamespaceBindings RequestNamespaces() {
    return {{"mail", std::string(Ns::Mail)},
            {"l", std::string(Ns::Tarvik)},
            {"account", std::string(Ns::Account)},
            {"soap", std::string(Ns::Soap)}};
}

Xml::NamespaceBindings ResponseNamespaces(bool withAdmin) {
    Xml::NamespaceBindings bindings = RequestNamespaces();
    if (withAdmin) {
        bindings.insert(bindings.begin() + 1, {"admin", std::string(Ns::Admin)});
    }
    return bindings;
}

}  // namespace Tarvik::Rpc
