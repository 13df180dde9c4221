#include "testserver/SoapService.h"

#include <cstdlib>
#include <set>

#include "testserver/AccountOperations.h"
#include "testserver/AdminOperations.h"
#include "testserver/CalendarOperations.h"
#include "testserver/ContactOperations.h"
#include "testserver/Fault.h"
#include "testserver/FolderOperations.h"
#include "testserver/MessageOperations.h"
#include "testserver/Names.h"
#include "testserver/SoapMessage.h"

namespace Tarvik::TestServer {

namespace {

struct OperationInfo {
    const char* ns;
    const char* name;
    OperationHandler handler;  // null for BatchRequest
    bool authenticated;
    bool adminOnly;
};

const std::vector<OperationInfo>& Operations() {
    static const std::vector<OperationInfo> operations = {
        {AccountNs, "AuthRequest", AccountOperations::Auth, false, false},
        {AccountNs, "GetInfoRequest", AccountOperations::GetInfo, true, false},
        {AdminNs, "AuthRequest", AdminOperations::Auth, false, true},
        {AdminNs, "GetAccountRequest", AdminOperations::GetAccount, true, true},
        {AdminNs, "GetDomainRequest", AdminOperations::GetDomain, true, true},
        {MailNs, "GetFolderRequest", FolderOperations::GetFolder, true, false},
        {MailNs, "CreateFolderRequest", FolderOperations::CreateFolder, true, false},
        {MailNs, "GetTagRequest", FolderOperations::GetTag, true, false},
        {MailNs, "CreateTagRequest", FolderOperations::CreateTag, true, false},
        {MailNs, "CreateContactRequest", ContactOperations::CreateContact, true, false},
        {MailNs, "AddMsgRequest", MessageOperations::AddMsg, true, false},
        {MailNs, "SetAppointmentRequest", CalendarOperations::SetAppointment, true, false},
        {MailNs, "SetTaskRequest", CalendarOperations::SetTask, true, false},
        {TarvikNs, "BatchRequest", nullptr, true, false},
    };
    return operations;
}

const OperationInfo& FindOperation(const Xml::Node& element, bool adminService) {
    std::string name = element.LocalName();
    std::string ns = element.NamespaceUri();
    for (const OperationInfo& operation : Operations()) {
        if (name == operation.name && ns == operation.ns && (adminService || !operation.adminOnly)) {
            return operation;
        }
    }
    throw Faults::UnknownDocument(ns.empty() ? name : ns + ":" + name);
}

bool IsSoapContentType(std::string_view contentType) {
    std::string lower(contentType.substr(0, 20));
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower == "application/soap+xml";
}

// The state of one exchange: the request, the record and a scripted action that waits for the
// answer (a close or replacement "after" or "middle").
class Exchange {
  public:
    Exchange(ServerState& state, bool adminService, RequestRecord& record)
        : state_(state), adminService_(adminService), record_(record) {}

    HttpAnswer Run(std::string_view contentType, std::string_view body) {
        HttpAnswer answer;
        try {
            answer = Process(contentType, body);
        } catch (const Fault& fault) {
            answer = FaultAnswer(fault);
        } catch (const std::exception& error) {
            answer =
                FaultAnswer(Fault("service.FAILURE", std::string("system failure: ") + error.what(), false));
        }
        if (early_) {
            return *early_;
        }
        return pending_ ? ScriptedAnswer(*pending_, std::move(answer)) : answer;
    }

  private:
    HttpAnswer FaultAnswer(const Fault& fault) {
        record_.result = fault.Code();
        XmlWriter out;
        WriteFault(out, fault, std::nullopt);
        return HttpAnswer{500, "application/soap+xml; charset=utf-8", SoapEnvelope(out.Str()),
                          Disconnect::None};
    }

    HttpAnswer Process(std::string_view contentType, std::string_view body) {
        if (!IsSoapContentType(contentType)) {
            throw Faults::InvalidRequest("Content-Type must be application/soap+xml");
        }
        SoapRequest request = ParseSoapRequest(body);
        record_.operation = request.body.LocalName();
        const OperationInfo& operation = FindOperation(request.body, adminService_);
        record_.account = FactsAccount(request, operation);
        // The scenario comes before authentication so that it can also fail the log-on itself.
        if (!ApplyScenario(RequestFacts{record_.operation, record_.account, std::nullopt},
                           request.authToken)) {
            return {};
        }
        OperationContext context{state_, adminService_, nullptr, nullptr, std::nullopt};
        Session session;
        if (operation.authenticated) {
            session = Authenticate(request.authToken);
            context.session = &session;
            context.target = Target(session, request.targetAccount);
        }
        XmlWriter out;
        if (operation.handler != nullptr) {
            operation.handler(context, request.body, out);
        } else if (!RunBatch(context, request.body, out)) {
            return {};
        }
        record_.result = "ok";
        return HttpAnswer{200, "application/soap+xml; charset=utf-8", SoapEnvelope(out.Str()),
                          Disconnect::None};
    }

    // The account a scenario rule compares with: the one acted on, or the one logging on.
    std::string FactsAccount(const SoapRequest& request, const OperationInfo& operation) const {
        if (request.targetAccount) {
            return state_.directory.Qualified(*request.targetAccount);
        }
        if (!operation.authenticated) {
            Xml::Node name =
                request.body.ChildElement(std::string_view(operation.ns) == AdminNs ? "name" : "account");
            return state_.directory.Qualified(name.Text());
        }
        Session session;
        TokenState token = state_.sessions.Check(request.authToken, session);
        return token == TokenState::Valid || token == TokenState::Expired ? session.account->name : "";
    }

    // Applies what the scenario says for one request. Returns false when the exchange ends here
    // with a scripted answer (in early_); throws the scripted fault; delays; keeps an action that
    // must wait for the answer in pending_.
    bool ApplyScenario(const RequestFacts& facts, const std::string& authToken) {
        std::optional<ScenarioAction> action = ConsultScenario(state_.scenario, facts, record_);
        if (!action) {
            return true;
        }
        switch (action->kind) {
            case ActionKind::Fault:
                throw Fault(action->code, action->reason);
            case ActionKind::ExpireSession:
                state_.sessions.Expire(authToken);
                throw Faults::AuthExpired();
            default:
                break;
        }
        if (action->when == Timing::Before) {
            record_.result = action->kind == ActionKind::Close ? "dropped" : "scripted answer";
            early_ = ScriptedAnswer(*action, HttpAnswer{});
            return false;
        }
        if (!pending_) {
            pending_ = action;
        }
        return true;
    }

    Session Authenticate(const std::string& token) const {
        Session session;
        switch (state_.sessions.Check(token, session)) {
            case TokenState::Missing:
            case TokenState::Unknown:
                throw Faults::AuthRequired();
            case TokenState::Expired:
                throw Faults::AuthExpired();
            case TokenState::Valid:
                break;
        }
        if (adminService_ && !session.admin) {
            throw Faults::PermDenied("the admin service needs an admin auth token");
        }
        return session;
    }

    // The account a request acts on. Acting for another account needs an administrator's admin
    // session; a domain administrator may act only inside its own domain.
    const Account* Target(const Session& session, const std::optional<std::string>& targetName) const {
        if (!targetName) {
            return session.account;
        }
        std::string name = state_.directory.Qualified(*targetName);
        const Account& actor = *session.account;
        if (FoldCase(name) == FoldCase(actor.name)) {
            return &actor;
        }
        std::string domain = name.substr(name.find('@') + 1);
        bool allowed = session.admin &&
                       (actor.admin || (actor.domainAdmin && FoldCase(domain) == FoldCase(actor.domain)));
        if (!allowed) {
            throw Faults::PermDenied("can not access account " + name);
        }
        const Account* target = state_.directory.FindAccount(name);
        if (target == nullptr) {
            throw Faults::NoSuchAccount(name);
        }
        return target;
    }

    // Runs the requests of a batch in order; false when a scripted answer ends the exchange early.
    bool RunBatch(OperationContext& context, const Xml::Node& batch, XmlWriter& out) {
        const std::string idAttribute = BatchIdAttribute(state_.config.serverVersion);
        std::vector<Xml::Node> requests = batch.ChildElements();
        std::set<std::string> ids;
        for (const Xml::Node& request : requests) {
            std::optional<std::string> id = request.Attribute(idAttribute);
            if (!id || id->empty() || !ids.insert(*id).second) {
                throw Faults::InvalidRequest("every request of a batch needs its own " + idAttribute +
                                             " attribute");
            }
        }
        OpenResponse(out, "BatchResponse", TarvikNs, std::nullopt);
        for (const Xml::Node& request : requests) {
            std::string id = *request.Attribute(idAttribute);
            RequestRecord::Child child{request.LocalName(), id, "ok"};
            OperationContext childContext = context;
            childContext.batchId = std::make_pair(idAttribute, id);
            XmlWriter childOut;
            try {
                if (!ApplyScenario(RequestFacts{child.operation, record_.account, id},
                                   SessionToken(context))) {
                    record_.children.push_back(child);
                    return false;
                }
                const OperationInfo& operation = FindOperation(request, adminService_);
                if (operation.handler == nullptr) {
                    throw Faults::InvalidRequest("a batch cannot hold a BatchRequest");
                }
                operation.handler(childContext, request, childOut);
            } catch (const Fault& fault) {
                childOut = XmlWriter();
                WriteFault(childOut, fault, childContext.batchId);
                child.result = fault.Code();
            } catch (const std::exception& error) {
                Fault fault("service.FAILURE", std::string("system failure: ") + error.what(), false);
                childOut = XmlWriter();
                WriteFault(childOut, fault, childContext.batchId);
                child.result = fault.Code();
            }
            out.Raw(childOut.Str());
            record_.children.push_back(child);
        }
        out.Close();
        return true;
    }

    static std::string SessionToken(const OperationContext& context) {
        return context.session != nullptr ? context.session->token : std::string();
    }

    ServerState& state_;
    bool adminService_;
    RequestRecord& record_;
    std::optional<HttpAnswer> early_;
    std::optional<ScenarioAction> pending_;
};

}  // namespace

const char* BatchIdAttribute(const std::string& serverVersion) {
    return std::strtod(serverVersion.c_str(), nullptr) >= 5 ? "requestId" : "id";
}

HttpAnswer SoapService::Handle(bool adminService, std::string_view contentType, std::string_view body,
                               RequestRecord& record) {
    return Exchange(state_, adminService, record).Run(contentType, body);
}

}  // namespace Tarvik::TestServer
