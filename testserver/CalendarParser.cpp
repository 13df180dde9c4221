#include "testserver/CalendarParser.h"

#include <algorithm>
#include <map>
#include <set>

#include "testserver/Encoding.h"
#include "testserver/Fault.h"

namespace Tarvik::TestServer {

namespace {

using Json = nlohmann::ordered_json;

enum class ComponentKind { Default, Exception, Cancellation };

const std::set<std::string> PartStats = {"NE", "TE", "AC", "DE", "DG"};
const std::set<std::string> Roles = {"CH", "REQ", "OPT", "NON"};
const std::set<std::string> CuTypes = {"IND", "GRO", "RES", "ROO", "UNK"};
const std::set<std::string> AppointmentStatus = {"TENT", "CONF", "CANC"};
const std::set<std::string> TaskStatus = {"NEED", "COMP", "INPR", "CANC", "WAITING", "DEFERRED"};
const std::set<std::string> WeekDays = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

[[noreturn]] void Invalid(const std::string& what) {
    throw Faults::InvalidRequest(what);
}

void OnlyAttributes(const Xml::Node& element, const std::set<std::string>& allowed) {
    for (const auto& [name, value] : element.Attributes()) {
        if (!allowed.contains(name)) {
            Invalid("unexpected attribute " + name + " of " + element.LocalName());
        }
    }
}

std::string Required(const Xml::Node& element, const char* name) {
    std::optional<std::string> value = element.Attribute(name);
    if (!value) {
        Invalid("missing attribute " + std::string(name) + " of " + element.LocalName());
    }
    return *value;
}

std::string OneOf(const Xml::Node& element, const char* name, const std::set<std::string>& words) {
    std::string value = Required(element, name);
    if (!words.contains(value)) {
        Invalid("invalid " + std::string(name) + " \"" + value + "\" of " + element.LocalName());
    }
    return value;
}

int64_t Number(const Xml::Node& element, const char* name, int64_t low, int64_t high) {
    std::string text = Required(element, name);
    std::optional<int64_t> value = ParseDecimal(text);
    if (!value || *value < low || *value > high) {
        Invalid("invalid " + std::string(name) + " \"" + text + "\" of " + element.LocalName());
    }
    return *value;
}

void NoChildren(const Xml::Node& element) {
    if (!element.ChildElements().empty()) {
        Invalid("unexpected content in " + element.LocalName());
    }
}

bool Digits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// A date "yyyyMMdd", or a time "yyyyMMddTHHmmss" with an optional trailing "Z".
struct CalendarDate {
    std::string text;
    bool timed = false;
    bool utc = false;
};

CalendarDate ParseDate(const std::string& text, const std::string& where) {
    CalendarDate date{text, text.size() > 8, text.ends_with('Z')};
    std::string_view body =
        date.utc ? std::string_view(text).substr(0, text.size() - 1) : std::string_view(text);
    bool shape = body.size() == 8 || (body.size() == 15 && body[8] == 'T');
    if (!shape || !Digits(body.substr(0, 8)) || (body.size() == 15 && !Digits(body.substr(9))) ||
        (date.utc && !date.timed)) {
        Invalid("invalid date \"" + text + "\" in " + where);
    }
    int month = std::stoi(std::string(body.substr(4, 2)));
    int day = std::stoi(std::string(body.substr(6, 2)));
    bool timeOk = body.size() == 8 || (std::stoi(std::string(body.substr(9, 2))) < 24 &&
                                       std::stoi(std::string(body.substr(11, 2))) < 60 &&
                                       std::stoi(std::string(body.substr(13, 2))) < 60);
    if (month < 1 || month > 12 || day < 1 || day > 31 || !timeOk) {
        Invalid("invalid date \"" + text + "\" in " + where);
    }
    return date;
}

std::vector<int64_t> NumberList(const Xml::Node& element, const char* name, int64_t low, int64_t high) {
    std::string text = Required(element, name);
    std::vector<int64_t> values;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        std::optional<int64_t> value = ParseDecimal(text.substr(start, comma - start));
        if (!value || *value < low || *value > high || *value == 0) {
            Invalid("invalid " + std::string(name) + " \"" + text + "\"");
        }
        values.push_back(*value);
        if (comma == std::string::npos) {
            return values;
        }
        start = comma + 1;
    }
}

class ComponentParser {
  public:
    ComponentParser(ComponentKind kind, bool isTask, std::vector<std::string>& tokens)
        : kind_(kind), isTask_(isTask), tokens_(tokens) {}

    Json Parse(const Xml::Node& holder) {
        Json component;
        component["kind"] = kind_ == ComponentKind::Default     ? "default"
                            : kind_ == ComponentKind::Exception ? "exception"
                                                                : "cancellation";
        if (kind_ == ComponentKind::Cancellation) {
            OnlyAttributes(holder, {});
        } else {
            OnlyAttributes(holder, {"ptst"});
            component["ptst"] = OneOf(holder, "ptst", PartStats);
        }
        std::vector<Xml::Node> children = holder.ChildElements();
        if (children.size() != 1 || children[0].LocalName() != "m") {
            Invalid(holder.LocalName() + " must hold exactly one m");
        }
        ParseMessage(children[0], component);
        return component;
    }

  private:
    void ParseMessage(const Xml::Node& m, Json& component) {
        OnlyAttributes(m, {});
        Json timezones = Json::array();
        bool seenInv = false;
        std::set<std::string> seenAfter;
        for (const Xml::Node& child : m.ChildElements()) {
            std::string name = child.LocalName();
            if (name == "tz" && !seenInv) {
                timezones.push_back(ParseTimezone(child));
            } else if (name == "inv" && !seenInv) {
                if (isTask_ && !timezones.empty()) {
                    Invalid("a task has no time zones");
                }
                component["timezones"] = timezones;
                ParseInv(child, component);
                seenInv = true;
            } else if (seenInv && (name == "su" || name == "mp" || name == "attach") &&
                       seenAfter.insert(name).second) {
                if (name == "su") {
                    NoChildren(child);
                    OnlyAttributes(child, {});
                    component["subject"] = child.Text();
                } else if (name == "mp") {
                    Json body = Json::object();
                    ParseBody(child, body, 0);
                    component["body"] = body;
                } else {
                    component["attachments"] = ParseAttach(child);
                }
            } else {
                Invalid("unexpected element " + name + " in m");
            }
        }
        if (!seenInv) {
            Invalid("m without inv");
        }
    }

    Json ParseTimezone(const Xml::Node& tz) {
        OnlyAttributes(tz, {"id", "stdoff", "dayoff"});
        Json zone;
        std::string id = Required(tz, "id");
        if (id.empty() || !zoneIds_.insert(id).second) {
            Invalid("empty or repeated time zone id \"" + id + "\"");
        }
        zone["id"] = id;
        zone["stdoff"] = Number(tz, "stdoff", -14 * 60, 14 * 60);
        std::vector<Xml::Node> rules = tz.ChildElements();
        if (tz.Attribute("dayoff")) {
            zone["dayoff"] = Number(tz, "dayoff", -14 * 60, 14 * 60);
            if (rules.size() != 2 || rules[0].LocalName() != "standard" ||
                rules[1].LocalName() != "daylight") {
                Invalid("time zone " + id + " with daylight saving needs standard and daylight rules");
            }
            zone["standard"] = ParseTransition(rules[0]);
            zone["daylight"] = ParseTransition(rules[1]);
        } else if (!rules.empty()) {
            Invalid("time zone " + id + " has rules but no dayoff");
        }
        return zone;
    }

    static Json ParseTransition(const Xml::Node& rule) {
        OnlyAttributes(rule, {"week", "wkday", "mon", "hour", "min", "sec"});
        NoChildren(rule);
        Json transition;
        transition["week"] = Number(rule, "week", -1, 4);
        if (transition["week"] == 0) {
            Invalid("invalid week \"0\" of " + rule.LocalName());
        }
        transition["wkday"] = Number(rule, "wkday", 1, 7);
        transition["mon"] = Number(rule, "mon", 1, 12);
        transition["hour"] = Number(rule, "hour", 0, 23);
        transition["min"] = Number(rule, "min", 0, 59);
        transition["sec"] = Number(rule, "sec", 0, 59);
        return transition;
    }

    void ParseInv(const Xml::Node& inv, Json& component) {
        std::set<std::string> allowed = {"method", "fb",    "transp", "allDay", "name",
                                         "loc",    "class", "uid",    "status"};
        if (isTask_) {
            allowed.insert({"percentComplete", "priority", "completed"});
        }
        OnlyAttributes(inv, allowed);
        bool cancellation = kind_ == ComponentKind::Cancellation;
        if (cancellation == inv.Attribute("method").has_value()) {
            Invalid(cancellation ? "a cancellation has no method" : "inv needs method");
        }
        if (!cancellation) {
            component["method"] = OneOf(inv, "method", {"REQUEST"});
        }
        component["fb"] = OneOf(inv, "fb", {"F", "B", "T", "O"});
        component["transp"] = OneOf(inv, "transp", {"O", "T"});
        allDay_ = OneOf(inv, "allDay", {"0", "1"}) == "1";
        component["allDay"] = allDay_;
        component["name"] = Required(inv, "name");
        component["location"] = Required(inv, "loc");
        if (inv.Attribute("class")) {
            component["class"] = OneOf(inv, "class", {"PRI", "PUB", "CON"});
        }
        if (std::optional<std::string> uid = inv.Attribute("uid")) {
            if (uid->empty()) {
                Invalid("empty uid");
            }
            component["uid"] = *uid;
        }
        if (isTask_) {
            component["status"] = OneOf(inv, "status", TaskStatus);
            component["percentComplete"] = Number(inv, "percentComplete", 0, 100);
            component["priority"] = Number(inv, "priority", 0, 9);
            if (std::optional<std::string> completed = inv.Attribute("completed")) {
                CalendarDate date = ParseDate(*completed, "completed");
                if (!date.utc) {
                    Invalid("completed must be a UTC time");
                }
                component["completed"] = *completed;
            }
        } else if (inv.Attribute("status")) {
            component["status"] = OneOf(inv, "status", AppointmentStatus);
        }
        ParseInvChildren(inv, component);
    }

    void ParseInvChildren(const Xml::Node& inv, Json& component) {
        // Children come in this order; each index is the earliest place the next one may take.
        static const std::vector<std::string> order = {"s",  "e",     "exceptId", "or",
                                                       "at", "recur", "xprop",    "alarm"};
        size_t place = 0;
        std::map<std::string, CalendarDate> dates;
        Json attendees = Json::array();
        Json xprops = Json::array();
        for (const Xml::Node& child : inv.ChildElements()) {
            std::string name = child.LocalName();
            auto at = std::find(order.begin() + static_cast<long>(place), order.end(), name);
            if (at == order.end()) {
                Invalid("unexpected or misplaced element " + name + " in inv");
            }
            bool repeatable = name == "at" || name == "xprop";
            place = static_cast<size_t>(at - order.begin()) + (repeatable ? 0 : 1);
            if (name == "s" || name == "e" || name == "exceptId") {
                static const std::map<std::string, const char*> keys = {
                    {"s", "start"}, {"e", "end"}, {"exceptId", "exceptId"}};
                dates.emplace(name, ParseDateElement(child, component, keys.at(name)));
            } else if (name == "or") {
                component["organizer"] = ParsePerson(child, false);
            } else if (name == "at") {
                attendees.push_back(ParsePerson(child, true));
            } else if (name == "recur") {
                if (kind_ != ComponentKind::Default) {
                    Invalid("only the series carries a recurrence rule");
                }
                component["recurrence"] = ParseRecur(child);
            } else if (name == "xprop") {
                if (!isTask_) {
                    Invalid("xprop is for tasks");
                }
                OnlyAttributes(child, {"name", "value"});
                NoChildren(child);
                std::string xname = Required(child, "name");
                if (!xname.starts_with("X-")) {
                    Invalid("xprop name must start with X-: " + xname);
                }
                xprops.push_back(Json{{"name", xname}, {"value", Required(child, "value")}});
            } else {
                if (isTask_) {
                    Invalid("a task has no alarm");
                }
                component["alarm"] = ParseAlarm(child);
            }
        }
        if (!attendees.empty()) {
            component["attendees"] = attendees;
        }
        if (!xprops.empty()) {
            component["xprops"] = xprops;
        }
        CheckDates(dates);
    }

    void CheckDates(const std::map<std::string, CalendarDate>& dates) {
        bool cancellation = kind_ == ComponentKind::Cancellation;
        if (cancellation && (!dates.contains("s") || dates.contains("e"))) {
            Invalid("a cancellation has a start and no end");
        }
        if ((kind_ == ComponentKind::Default) == dates.contains("exceptId")) {
            Invalid(kind_ == ComponentKind::Default ? "the series has no exceptId"
                                                    : "an exception or cancellation needs exceptId");
        }
        auto start = dates.find("s");
        auto end = dates.find("e");
        if (start != dates.end() && end != dates.end() && start->second.utc == end->second.utc &&
            dateZones_["s"] == dateZones_["e"] && start->second.timed == end->second.timed &&
            end->second.text < start->second.text) {
            Invalid("end before start");
        }
    }

    CalendarDate ParseDateElement(const Xml::Node& element, Json& component, const char* key) {
        OnlyAttributes(element, {"d", "tz"});
        NoChildren(element);
        CalendarDate date = ParseDate(Required(element, "d"), element.LocalName());
        if (date.timed == allDay_) {
            Invalid(std::string(allDay_ ? "an all-day item has dates without time: "
                                        : "a timed item needs date and time: ") +
                    date.text);
        }
        Json value{{"d", date.text}};
        std::string zone;
        if (std::optional<std::string> tz = element.Attribute("tz")) {
            if (!zoneIds_.contains(*tz)) {
                Invalid("time zone " + *tz + " is not defined in this component");
            }
            if (date.utc) {
                Invalid("a UTC time with a time zone: " + date.text);
            }
            value["tz"] = *tz;
            zone = *tz;
        }
        dateZones_[element.LocalName()] = zone;
        component[key] = value;
        return date;
    }

    static Json ParsePerson(const Xml::Node& element, bool attendee) {
        NoChildren(element);
        Json person = Json::object();
        if (std::optional<std::string> name = element.Attribute("d")) {
            person["name"] = *name;
        }
        std::optional<std::string> address = element.Attribute("a");
        if (address && address->find('@') == std::string::npos) {
            Invalid("address without @: " + *address);
        }
        if (attendee) {
            OnlyAttributes(element, {"d", "a", "role", "cutype", "ptst"});
            person["address"] = Required(element, "a");
            person["role"] = OneOf(element, "role", Roles);
            if (element.Attribute("cutype")) {
                person["cutype"] = OneOf(element, "cutype", CuTypes);
            }
            person["ptst"] = OneOf(element, "ptst", PartStats);
        } else {
            OnlyAttributes(element, {"d", "a"});
            if (address) {
                person["address"] = *address;
            }
        }
        return person;
    }

    static Json ParseRecur(const Xml::Node& recur) {
        OnlyAttributes(recur, {});
        std::vector<Xml::Node> adds = recur.ChildElements();
        if (adds.size() != 1 || adds[0].LocalName() != "add" || adds[0].ChildElements().empty()) {
            Invalid("recur must hold one add with rules");
        }
        Json rules = Json::array();
        for (const Xml::Node& rule : adds[0].ChildElements()) {
            if (rule.LocalName() != "rule") {
                Invalid("unexpected element " + rule.LocalName() + " in add");
            }
            rules.push_back(ParseRule(rule));
        }
        return rules;
    }

    static Json ParseRule(const Xml::Node& rule) {
        OnlyAttributes(rule, {"freq"});
        Json parsed{{"freq", OneOf(rule, "freq", {"SEC", "MIN", "HOU", "DAI", "WEE", "MON", "YEA"})}};
        for (const Xml::Node& part : rule.ChildElements()) {
            std::string name = part.LocalName();
            if (parsed.contains(name)) {
                Invalid(name + " given twice in a rule");
            }
            if (name == "interval") {
                OnlyAttributes(part, {"ival"});
                parsed[name] = Number(part, "ival", 1, 1000);
            } else if (name == "byday") {
                OnlyAttributes(part, {});
                Json days = Json::array();
                for (const Xml::Node& day : part.ChildElements()) {
                    OnlyAttributes(day, {"day", "ordwk"});
                    if (day.LocalName() != "wkday") {
                        Invalid("unexpected element " + day.LocalName() + " in byday");
                    }
                    days.push_back(OneOf(day, "day", WeekDays));
                }
                if (days.empty()) {
                    Invalid("byday without wkday");
                }
                parsed[name] = days;
            } else if (name == "bymonthday") {
                OnlyAttributes(part, {"modaylist"});
                parsed[name] = NumberList(part, "modaylist", -31, 31);
            } else if (name == "bymonth") {
                OnlyAttributes(part, {"molist"});
                parsed[name] = NumberList(part, "molist", 1, 12);
            } else if (name == "bysetpos") {
                OnlyAttributes(part, {"poslist"});
                parsed[name] = NumberList(part, "poslist", -366, 366);
            } else if (name == "until") {
                OnlyAttributes(part, {"d"});
                parsed[name] = ParseDate(Required(part, "d"), "until").text;
            } else if (name == "count") {
                OnlyAttributes(part, {"num"});
                parsed[name] = Number(part, "num", 1, 100000);
            } else {
                Invalid("unexpected element " + name + " in rule");
            }
            if (name != "byday") {
                NoChildren(part);
            }
        }
        if (parsed.contains("until") && parsed.contains("count")) {
            Invalid("a rule ends either on a date or after a count");
        }
        return parsed;
    }

    static Json ParseAlarm(const Xml::Node& alarm) {
        OnlyAttributes(alarm, {"action"});
        Json parsed{{"action", OneOf(alarm, "action", {"DISPLAY", "AUDIO", "EMAIL"})}};
        std::vector<Xml::Node> triggers = alarm.ChildElements();
        if (triggers.size() != 1 || triggers[0].LocalName() != "trigger") {
            Invalid("alarm must hold one trigger");
        }
        OnlyAttributes(triggers[0], {});
        std::vector<Xml::Node> rels = triggers[0].ChildElements();
        if (rels.size() != 1 || rels[0].LocalName() != "rel") {
            Invalid("trigger must hold one rel");
        }
        const Xml::Node& rel = rels[0];
        OnlyAttributes(rel, {"related", "neg", "w", "d", "h", "m", "s"});
        NoChildren(rel);
        parsed["related"] = OneOf(rel, "related", {"START", "END"});
        parsed["before"] = rel.Attribute("neg").has_value() && OneOf(rel, "neg", {"0", "1"}) == "1";
        int64_t minutes = 0;
        static const std::vector<std::pair<const char*, int64_t>> units = {
            {"w", 7 * 1440}, {"d", 1440}, {"h", 60}, {"m", 1}};
        for (const auto& [unit, factor] : units) {
            if (rel.Attribute(unit)) {
                minutes += Number(rel, unit, 0, 1000000) * factor;
            }
        }
        parsed["minutes"] = minutes;
        if (rel.Attribute("s")) {
            parsed["seconds"] = Number(rel, "s", 0, 59);
        }
        return parsed;
    }

    static void ParseBody(const Xml::Node& mp, Json& body, int depth) {
        OnlyAttributes(mp, {"ct"});
        std::string type =
            OneOf(mp, "ct", {"text/plain", "text/html", "text/calendar", "multipart/alternative"});
        if (type == "multipart/alternative") {
            std::vector<Xml::Node> parts = mp.ChildElements();
            if (depth > 0 || parts.empty()) {
                Invalid("multipart/alternative must hold mp parts and not be nested");
            }
            for (const Xml::Node& part : parts) {
                if (part.LocalName() != "mp") {
                    Invalid("unexpected element " + part.LocalName() + " in mp");
                }
                ParseBody(part, body, depth + 1);
            }
            return;
        }
        std::vector<Xml::Node> content = mp.ChildElements();
        if (content.size() != 1 || content[0].LocalName() != "content") {
            Invalid("mp " + type + " must hold one content");
        }
        const char* key = type == "text/plain" ? "text" : type == "text/html" ? "html" : "calendar";
        if (body.contains(key)) {
            Invalid("two " + type + " bodies");
        }
        body[key] = content[0].Text();
    }

    Json ParseAttach(const Xml::Node& attach) {
        OnlyAttributes(attach, {"aid"});
        NoChildren(attach);
        std::string list = Required(attach, "aid");
        Json attachments = Json::array();
        size_t start = 0;
        while (true) {
            size_t comma = list.find(',', start);
            std::string token = list.substr(start, comma - start);
            if (token.empty()) {
                Invalid("empty upload token in attach");
            }
            tokens_.push_back(token);
            attachments.push_back(Json{{"aid", token}});
            if (comma == std::string::npos) {
                return attachments;
            }
            start = comma + 1;
        }
    }

    ComponentKind kind_;
    bool isTask_;
    std::vector<std::string>& tokens_;
    std::set<std::string> zoneIds_;
    bool allDay_ = false;
    std::map<std::string, std::string> dateZones_;  // s, e, exceptId -> the zone they name
};

}  // namespace

ParsedInvitation ParseInvitation(const Xml::Node& request, bool isTask) {
    ParsedInvitation result;
    Json exceptions = Json::array();
    Json cancellations = Json::array();
    Json series;
    for (const Xml::Node& holder : request.ChildElements()) {
        std::string name = holder.LocalName();
        if (name == "default" && series.is_null() && exceptions.empty() && cancellations.empty()) {
            series = ComponentParser(ComponentKind::Default, isTask, result.attachmentTokens).Parse(holder);
        } else if (name == "except" && !series.is_null() && cancellations.empty() && !isTask) {
            exceptions.push_back(
                ComponentParser(ComponentKind::Exception, isTask, result.attachmentTokens).Parse(holder));
        } else if (name == "cancel" && !series.is_null() && !isTask) {
            cancellations.push_back(
                ComponentParser(ComponentKind::Cancellation, isTask, result.attachmentTokens).Parse(holder));
        } else {
            Invalid("unexpected or misplaced element " + name + " in " + request.LocalName());
        }
    }
    if (series.is_null()) {
        Invalid(request.LocalName() + " without default");
    }
    result.uid = series.value("uid", "");
    result.parsed["default"] = series;
    result.parsed["exceptions"] = exceptions;
    result.parsed["cancellations"] = cancellations;
    return result;
}

}  // namespace Tarvik::TestServer
