// The bench: reading, validating and caching the device file named by MORVANE_BENCH, and
// storing the driver's property values back into it.

#include "platform/internal.h"
#include "platform/standin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>

namespace standin::detail {

using json = nlohmann::ordered_json;

// ---------------------------------------------------------------------------------------
// Validation.

namespace {

[[noreturn]] void reject(const std::string& path, const std::string& what) {
    throw BenchError{path.empty() ? what : path + ": " + what};
}

std::string member(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

std::string element(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

std::string in_quotes(const std::string& text) {
    return "\"" + text + "\"";
}

std::string type_name(const json& value) {
    switch (value.type()) {
    case json::value_t::null:
        return "null";
    case json::value_t::object:
        return "an object";
    case json::value_t::array:
        return "an array";
    case json::value_t::string:
        return "a string";
    case json::value_t::boolean:
        return "a boolean";
    case json::value_t::number_float:
        return "a fractional number";
    default:
        return "a number";
    }
}

[[noreturn]] void wrong_type(const std::string& path, const json& value,
                             const std::string& expected) {
    reject(path, "expected " + expected + ", found " + type_name(value));
}

void require_object(const std::string& path, const json& value) {
    if (!value.is_object())
        wrong_type(path, value, "an object");
}

void require_array(const std::string& path, const json& value) {
    if (!value.is_array())
        wrong_type(path, value, "an array");
}

void check_keys(const std::string& path, const json& object,
                std::initializer_list<const char*> allowed) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool known = false;
        for (const char* key : allowed)
            if (it.key() == key)
                known = true;
        if (!known)
            reject(member(path, it.key()), "unknown key");
    }
}

std::string one_of(std::initializer_list<const char*> names) {
    std::string text;
    size_t i = 0;
    for (const char* name : names) {
        if (i > 0)
            text += (i + 1 == names.size()) ? " or " : ", ";
        text += in_quotes(name);
        ++i;
    }
    return text;
}

std::string get_string(const std::string& path, const json& value) {
    if (!value.is_string())
        wrong_type(path, value, "a string");
    return value.get<std::string>();
}

bool get_bool(const std::string& path, const json& value) {
    if (!value.is_boolean())
        wrong_type(path, value, "a boolean (true or false)");
    return value.get<bool>();
}

int64_t get_integer(const std::string& path, const json& value, int64_t low, int64_t high,
                    const std::string& expected) {
    if (!value.is_number_integer())
        wrong_type(path, value, expected);
    int64_t number;
    if (value.is_number_unsigned()) {
        auto u = value.get<uint64_t>();
        if (u > static_cast<uint64_t>(high))
            reject(path, std::to_string(u) + " is out of range (" + expected + ")");
        number = static_cast<int64_t>(u);
    } else {
        number = value.get<int64_t>();
    }
    if (number < low || number > high)
        reject(path, std::to_string(number) + " is out of range (" + expected + ")");
    return number;
}

// A 32-bit value: signed or unsigned range, kept as its 32 bits.
int32_t get_value32(const std::string& path, const json& value) {
    auto number = get_integer(path, value, INT32_MIN, UINT32_MAX, "a 32-bit integer");
    return static_cast<int32_t>(static_cast<uint32_t>(number));
}

uint32_t get_unsigned32(const std::string& path, const json& value) {
    return static_cast<uint32_t>(
        get_integer(path, value, 0, UINT32_MAX, "an unsigned 32-bit integer"));
}

HRESULT get_hr(const std::string& path, const json& value) {
    const std::string expected = "a result code string such as \"0x80004005\" or \"S_FALSE\"";
    if (!value.is_string())
        wrong_type(path, value, expected);
    std::string text = value.get<std::string>();
    if (text == "S_FALSE")
        return S_FALSE;
    bool hex = text.size() > 2 && text.size() <= 10 && text[0] == '0' &&
               (text[1] == 'x' || text[1] == 'X');
    for (size_t i = 2; hex && i < text.size(); ++i)
        hex = std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
    if (!hex)
        reject(path, in_quotes(text) +
                         " is not a hexadecimal result code (write it like \"0x80004005\", "
                         "or \"S_FALSE\")");
    return static_cast<HRESULT>(std::stoul(text.substr(2), nullptr, 16));
}

BagValue get_bag_value(const std::string& path, const json& value) {
    BagValue out;
    if (value.is_null())
        return out;
    if (value.is_string()) {
        out.kind = BagValue::Kind::text;
        out.text = utf16(value.get<std::string>());
        return out;
    }
    if (!value.is_number_integer())
        wrong_type(path, value, "a string, an integer or null");
    out.kind = BagValue::Kind::number;
    out.number = static_cast<int32_t>(
        get_integer(path, value, INT32_MIN, INT32_MAX, "a string, a 32-bit integer or null"));
    return out;
}

PinDesc parse_pin(const std::string& path, const json& value) {
    require_object(path, value);
    check_keys(path, value,
               {"name", "direction", "medium", "connected", "pin_info_fails", "refuses"});
    PinDesc pin;
    if (!value.contains("direction"))
        reject(member(path, "direction"), "missing (every pin needs \"in\" or \"out\")");
    std::string direction = get_string(member(path, "direction"), value["direction"]);
    if (direction == "in")
        pin.direction = PINDIR_INPUT;
    else if (direction == "out")
        pin.direction = PINDIR_OUTPUT;
    else
        reject(member(path, "direction"),
               in_quotes(direction) + " is not " + one_of({"in", "out"}));
    pin.name = pin.direction == PINDIR_INPUT ? "In" : "Out";
    pin.medium = "*";
    if (value.contains("name"))
        pin.name = get_string(member(path, "name"), value["name"]);
    if (value.contains("medium"))
        pin.medium = get_string(member(path, "medium"), value["medium"]);
    if (value.contains("connected"))
        pin.connected = get_bool(member(path, "connected"), value["connected"]);
    if (value.contains("pin_info_fails"))
        pin.pin_info_fails = get_bool(member(path, "pin_info_fails"), value["pin_info_fails"]);
    if (value.contains("refuses"))
        pin.refuses = get_bool(member(path, "refuses"), value["refuses"]);
    return pin;
}

GUID parse_function(const std::string& path, const json& value) {
    std::string name = get_string(path, value);
    if (name == "rf_tuner")
        return KSNODE_BDA_RF_TUNER;
    if (name == "qpsk")
        return KSNODE_BDA_QPSK_DEMODULATOR;
    if (name == "qam")
        return KSNODE_BDA_QAM_DEMODULATOR;
    if (name == "ofdm")
        return KSNODE_BDA_OFDM_DEMODULATOR;
    if (auto guid = parse_guid(utf16(name)))
        return *guid;
    reject(path, in_quotes(name) + " is not " + one_of({"rf_tuner", "qpsk", "qam", "ofdm"}) +
                     " or a GUID written \"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}\"");
}

Topology parse_topology(const std::string& path, const json& value) {
    Topology topology;
    if (value.is_string()) {
        std::string text = value.get<std::string>();
        if (text != "absent")
            reject(path, in_quotes(text) + " is not \"absent\" (or a topology object)");
        topology.absent = true;
        return topology;
    }
    if (!value.is_object())
        wrong_type(path, value, "an object or \"absent\"");
    check_keys(path, value, {"node_types", "functions", "fail"});
    if (value.contains("node_types")) {
        std::string p = member(path, "node_types");
        require_array(p, value["node_types"]);
        for (size_t i = 0; i < value["node_types"].size(); ++i)
            topology.node_types.push_back(get_unsigned32(element(p, i), value["node_types"][i]));
    }
    if (value.contains("functions")) {
        std::string p = member(path, "functions");
        require_array(p, value["functions"]);
        for (size_t i = 0; i < value["functions"].size(); ++i)
            topology.functions.push_back(parse_function(element(p, i), value["functions"][i]));
    }
    if (value.contains("fail")) {
        std::string p = member(path, "fail");
        std::string fail = get_string(p, value["fail"]);
        if (fail == "GetNodeTypes")
            topology.fail = Topology::Fail::node_types;
        else if (fail == "GetNodeDescriptors")
            topology.fail = Topology::Fail::descriptors;
        else
            reject(p,
                   in_quotes(fail) + " is not " + one_of({"GetNodeTypes", "GetNodeDescriptors"}));
    }
    return topology;
}

Topology standard_topology(const std::string& standard) {
    Topology topology;
    if (standard == "none") {
        topology.node_types = {0};
        topology.functions = {KSNODE_BDA_RF_TUNER};
        return topology;
    }
    topology.node_types = {0, 1};
    topology.functions = {KSNODE_BDA_RF_TUNER, standard == "dvb-s"   ? KSNODE_BDA_QPSK_DEMODULATOR
                                               : standard == "dvb-c" ? KSNODE_BDA_QAM_DEMODULATOR
                                                                     : KSNODE_BDA_OFDM_DEMODULATOR};
    return topology;
}

Prop parse_prop(const std::string& path, const json& value) {
    require_object(path, value);
    check_keys(path, value, {"support", "value", "query_fails", "get_fails", "set_fails"});
    Prop prop;
    if (value.contains("support"))
        prop.support = static_cast<uint32_t>(
            get_integer(member(path, "support"), value["support"], 0, 3, "an integer from 0 to 3"));
    if (value.contains("value"))
        prop.value = get_value32(member(path, "value"), value["value"]);
    if (value.contains("query_fails"))
        prop.query_fails = get_hr(member(path, "query_fails"), value["query_fails"]);
    if (value.contains("get_fails"))
        prop.get_fails = get_hr(member(path, "get_fails"), value["get_fails"]);
    if (value.contains("set_fails"))
        prop.set_fails = get_hr(member(path, "set_fails"), value["set_fails"]);
    return prop;
}

const char* const unicable_keys[] = {"enabled", "scr", "frequency"}; // ids 3, 4, 5

Driver parse_driver(const std::string& path, const json& entry) {
    Driver driver;
    if (entry.contains("unicable")) {
        std::string p = member(path, "unicable");
        const json& value = entry["unicable"];
        require_object(p, value);
        check_keys(p, value, {"enabled", "scr", "frequency"});
        driver.kind = Driver::Kind::unicable;
        for (uint32_t id = 3; id <= 5; ++id) {
            Prop prop;
            prop.support = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
            const char* key = unicable_keys[id - 3];
            if (value.contains(key))
                prop.value = get_value32(member(p, key), value[key]);
            driver.props[id] = prop;
        }
    }
    if (entry.contains("extension")) {
        std::string p = member(path, "extension");
        const json& value = entry["extension"];
        driver.props.clear();
        if (value.is_string()) {
            std::string text = value.get<std::string>();
            if (text != "absent")
                reject(p, in_quotes(text) + " is not \"absent\" (or an object of properties)");
            driver.kind = Driver::Kind::absent;
            return driver;
        }
        if (!value.is_object())
            wrong_type(p, value, "an object of properties or \"absent\"");
        driver.kind = Driver::Kind::extension;
        for (auto it = value.begin(); it != value.end(); ++it) {
            const std::string& key = it.key();
            if (key != "3" && key != "4" && key != "5")
                reject(member(p, key), "unknown key (the properties are \"3\", \"4\" and \"5\")");
            driver.props[static_cast<uint32_t>(std::stoul(key))] =
                parse_prop(member(p, key), it.value());
        }
    }
    return driver;
}

void default_pins(Entry& entry) {
    auto pin = [](const char* name, PIN_DIRECTION direction, std::string medium) {
        PinDesc desc;
        desc.name = name;
        desc.direction = direction;
        desc.medium = std::move(medium);
        return desc;
    };
    switch (entry.category) {
    case Category::tuners:
        entry.pins = {pin("Input0", PINDIR_INPUT, "antenna"),
                      pin("MPEG2 Transport", PINDIR_OUTPUT, entry.link)};
        break;
    case Category::captures:
        entry.pins = {pin("Input0", PINDIR_INPUT, entry.link),
                      pin("MPEG2 Transport", PINDIR_OUTPUT, "transport")};
        break;
    case Category::transport_information: {
        bool tif = entry.friendly_name.kind == BagValue::Kind::text &&
                   entry.friendly_name.text == u"BDA MPEG2 Transport Information Filter";
        entry.pins = {pin(tif ? "Input" : "In", PINDIR_INPUT, "tables")};
        break;
    }
    }
}

const char* id_prefix(Category category) {
    switch (category) {
    case Category::tuners:
        return "tuner";
    case Category::captures:
        return "capture";
    default:
        return "tif";
    }
}

Entry parse_entry(const std::string& path, const json& value, Category category, size_t index) {
    require_object(path, value);
    Entry entry;
    entry.category = category;
    entry.index = index;
    if (value.contains("next_fails")) {
        check_keys(path, value, {"next_fails"});
        entry.is_marker = true;
        entry.next_fails = get_hr(member(path, "next_fails"), value["next_fails"]);
        return entry;
    }
    if (category == Category::tuners)
        check_keys(path, value,
                   {"id", "present", "friendly_name", "device_path", "faults", "link", "pins",
                    "standard", "topology", "unicable", "extension"});
    else
        check_keys(path, value,
                   {"id", "present", "friendly_name", "device_path", "faults", "link", "pins"});

    entry.id = id_prefix(category) + std::to_string(index);
    if (value.contains("id"))
        entry.id = get_string(member(path, "id"), value["id"]);
    if (value.contains("present"))
        entry.present = get_bool(member(path, "present"), value["present"]);
    if (value.contains("friendly_name"))
        entry.friendly_name = get_bag_value(member(path, "friendly_name"), value["friendly_name"]);
    if (value.contains("device_path"))
        entry.device_path = get_bag_value(member(path, "device_path"), value["device_path"]);
    if (value.contains("faults")) {
        std::string p = member(path, "faults");
        require_array(p, value["faults"]);
        for (size_t i = 0; i < value["faults"].size(); ++i) {
            std::string name = get_string(element(p, i), value["faults"][i]);
            if (name == "StringFromCLSID")
                entry.string_from_clsid_fails = true;
            else if (name == "BindToStorage")
                entry.bind_to_storage_fails = true;
            else if (name == "BindToObject")
                entry.bind_to_object_fails = true;
            else
                reject(element(p, i),
                       in_quotes(name) + " is not " +
                           one_of({"StringFromCLSID", "BindToStorage", "BindToObject"}));
        }
    }
    if (entry.device_path.kind == BagValue::Kind::text)
        entry.link = utf8(entry.device_path.text);
    if (value.contains("link"))
        entry.link = get_string(member(path, "link"), value["link"]);

    if (category == Category::tuners) {
        std::string standard = "none";
        if (value.contains("standard")) {
            std::string p = member(path, "standard");
            standard = get_string(p, value["standard"]);
            if (standard != "dvb-s" && standard != "dvb-c" && standard != "dvb-t" &&
                standard != "none")
                reject(p, in_quotes(standard) + " is not " +
                              one_of({"dvb-s", "dvb-c", "dvb-t", "none"}));
        }
        entry.topology = value.contains("topology")
                             ? parse_topology(member(path, "topology"), value["topology"])
                             : standard_topology(standard);
        entry.driver = parse_driver(path, value);
    }

    if (value.contains("pins")) {
        std::string p = member(path, "pins");
        require_array(p, value["pins"]);
        for (size_t i = 0; i < value["pins"].size(); ++i)
            entry.pins.push_back(parse_pin(element(p, i), value["pins"][i]));
    } else {
        default_pins(entry);
    }
    return entry;
}

std::vector<Entry> parse_category(const json& doc, const char* key, Category category) {
    std::vector<Entry> entries;
    const json& list = doc[key];
    require_array(key, list);
    for (size_t i = 0; i < list.size(); ++i)
        entries.push_back(parse_entry(element(key, i), list[i], category, i));
    return entries;
}

std::vector<Entry> standard_transport_information() {
    std::vector<Entry> entries;
    const char* names[] = {"BDA MPEG2 Transport Information Filter", "MPEG-2 Sections and Tables"};
    for (size_t i = 0; i < 2; ++i) {
        Entry entry;
        entry.category = Category::transport_information;
        entry.index = i;
        entry.id = "tif" + std::to_string(i);
        entry.friendly_name.kind = BagValue::Kind::text;
        entry.friendly_name.text = utf16(names[i]);
        default_pins(entry);
        entries.push_back(std::move(entry));
    }
    return entries;
}

template <class Names>
void parse_hr_map(const std::string& path, const json& value, const Names& names,
                  const std::string& what, std::map<std::string, HRESULT>& out) {
    require_object(path, value);
    for (auto it = value.begin(); it != value.end(); ++it) {
        bool known = false;
        for (const char* name : names)
            if (it.key() == name)
                known = true;
        if (!known) {
            std::string list;
            for (const char* name : names)
                list += (list.empty() ? "" : ", ") + in_quotes(name);
            reject(member(path, it.key()), "unknown " + what + " (expected one of " + list + ")");
        }
        out[it.key()] = get_hr(member(path, it.key()), it.value());
    }
}

Faults parse_faults(const json& value) {
    const std::string path = "faults";
    require_object(path, value);
    check_keys(
        path, value,
        {"CoInitialize", "StringFromIID", "CoCreateInstance", "CreateClassEnumerator", "results"});
    Faults faults;
    if (value.contains("CoInitialize"))
        faults.co_initialize = get_hr(member(path, "CoInitialize"), value["CoInitialize"]);
    if (value.contains("StringFromIID"))
        faults.string_from_iid = get_hr(member(path, "StringFromIID"), value["StringFromIID"]);
    static const char* const classes[] = {
        "SystemDeviceEnum",    "FilterGraphNoThread", "DVBSTuningSpace", "DVBSLocator",
        "DVBSNetworkProvider", "MPEG2Demultiplexer",  "NullRenderer"};
    static const char* const categories[] = {"tuners", "captures", "transport_information"};
    static const char* const methods[] = {
        "IDVBSTuningSpace::put_NetworkType", "IDVBSTuningSpace::CreateTuneRequest",
        "IDVBSLocator::put_Modulation",      "ITuner::put_TuningSpace",
        "ITuner::put_TuneRequest",           "IFilterGraph::AddFilter"};
    if (value.contains("CoCreateInstance"))
        parse_hr_map(member(path, "CoCreateInstance"), value["CoCreateInstance"], classes, "class",
                     faults.co_create_instance);
    if (value.contains("CreateClassEnumerator"))
        parse_hr_map(member(path, "CreateClassEnumerator"), value["CreateClassEnumerator"],
                     categories, "category", faults.create_class_enumerator);
    if (value.contains("results"))
        parse_hr_map(member(path, "results"), value["results"], methods, "method", faults.results);
    return faults;
}

std::string parse_error_reason(const nlohmann::json::parse_error& error, const std::string& bytes) {
    // Line and column of the byte where parsing stopped (error.byte counts from 1).
    size_t stop = error.byte == 0 ? 0 : std::min<size_t>(error.byte - 1, bytes.size());
    size_t line = 1;
    size_t column = 1;
    for (size_t i = 0; i < stop; ++i) {
        if (bytes[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    std::string detail = error.what();
    size_t at = detail.find("column ");
    if (at != std::string::npos) {
        size_t colon = detail.find(": ", at);
        if (colon != std::string::npos)
            detail = detail.substr(colon + 2);
    }
    return "invalid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) +
           ": " + detail;
}

} // namespace

const std::vector<Entry>& Model::entries(Category category) const {
    switch (category) {
    case Category::tuners:
        return tuners;
    case Category::captures:
        return captures;
    default:
        return transport_information;
    }
}

std::optional<HRESULT> Model::result_fault(const char* method) const {
    auto it = faults.results.find(method);
    if (it == faults.results.end())
        return std::nullopt;
    return it->second;
}

std::shared_ptr<Model> parse_bench(const std::string& path, const std::string& bytes) {
    auto model = std::make_shared<Model>();
    model->path = path;
    model->bytes = bytes;
    try {
        model->doc = json::parse(bytes);
    } catch (const nlohmann::json::parse_error& error) {
        throw BenchError{parse_error_reason(error, bytes)};
    }
    const json& doc = model->doc;
    if (!doc.is_object())
        wrong_type("the bench", doc,
                   "an object with \"tuners\", \"captures\", "
                   "\"transport_information\" and \"faults\"");
    check_keys("", doc, {"tuners", "captures", "transport_information", "faults"});
    if (doc.contains("tuners"))
        model->tuners = parse_category(doc, "tuners", Category::tuners);
    if (doc.contains("captures"))
        model->captures = parse_category(doc, "captures", Category::captures);
    if (doc.contains("transport_information"))
        model->transport_information =
            parse_category(doc, "transport_information", Category::transport_information);
    else
        model->transport_information = standard_transport_information();
    if (doc.contains("faults"))
        model->faults = parse_faults(doc["faults"]);
    return model;
}

// ---------------------------------------------------------------------------------------
// The bench in force.

namespace {

struct BenchState {
    std::shared_ptr<Model> in_force; // the last valid bench; null until the first load
    std::shared_ptr<Model> cached;   // the last parsed model, keyed by its path and bytes
    std::set<std::string> warned;    // path + content that were warned about
    std::string rejected_path;       // the last content rejected, and why: not parsed again
    std::string rejected_bytes;
    std::string rejected_reason;
};

BenchState& state() {
    static BenchState instance;
    return instance;
}

// Without a bench file: a PC without any broadcast device, every category empty.
std::shared_ptr<Model> empty_pc() {
    static const auto model = std::make_shared<Model>();
    return model;
}

// Reads and parses the bench named by path, reusing the cached model for unchanged content.
// Call with bench_mutex() held. Throws BenchError.
std::shared_ptr<Model> load(const std::string& path, std::string& key) {
    auto bytes = read_file(path);
    if (!bytes) {
        int error = errno;
        key = "\x01unreadable\x01" + std::string(std::strerror(error));
        throw BenchError{"cannot read the file (" + std::string(std::strerror(error)) + ")"};
    }
    key = *bytes;
    BenchState& s = state();
    if (s.cached && s.cached->path == path && s.cached->bytes == *bytes)
        return s.cached;
    if (s.rejected_path == path && s.rejected_bytes == *bytes && !s.rejected_reason.empty())
        throw BenchError{s.rejected_reason};
    try {
        s.cached = parse_bench(path, *bytes);
    } catch (const BenchError& error) {
        s.rejected_path = path;
        s.rejected_bytes = *bytes;
        s.rejected_reason = error.reason;
        throw;
    }
    return s.cached;
}

} // namespace

std::mutex& bench_mutex() {
    static std::mutex instance;
    return instance;
}

std::optional<std::string> read_file(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int error = errno;
            ::close(fd);
            errno = error;
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}

std::shared_ptr<Model> current_bench() {
    const char* variable = std::getenv("MORVANE_BENCH");
    std::lock_guard lock(bench_mutex());
    BenchState& s = state();
    if (!variable) {
        s.in_force = empty_pc();
        return s.in_force;
    }
    std::string path = variable;
    std::string key;
    try {
        s.in_force = load(path, key);
    } catch (const BenchError& error) {
        if (s.warned.insert(path + '\0' + key).second) {
            std::fprintf(stderr, "bench: %s: %s (keeping the last valid bench)\n", path.c_str(),
                         error.reason.c_str());
            std::fflush(stderr);
        }
        if (!s.in_force)
            s.in_force = empty_pc();
    }
    return s.in_force;
}

// ---------------------------------------------------------------------------------------
// Driver memory: property values written back into the bench file.

namespace {

bool write_atomically(const std::string& path, const std::string& bytes, std::string& error) {
    namespace fs = std::filesystem;
    fs::path target(path);
    fs::path dir = target.parent_path();
    std::string pattern =
        (dir.empty() ? fs::path(".") : dir) / ("." + target.filename().string() + ".XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat info;
    if (::stat(path.c_str(), &info) == 0)
        ::fchmod(fd, info.st_mode & 07777);
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::strerror(errno);
            ::close(fd);
            ::unlink(name.data());
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
    // The watcher must know the new content before it appears under the bench's name.
    watcher_note_own_write(path, bytes);
    if (::rename(name.data(), path.c_str()) != 0) {
        error = std::strerror(errno);
        ::unlink(name.data());
        return false;
    }
    return true;
}

// Where a property's value lives within its tuner entry.
std::vector<std::string> value_keys(const Entry& entry, uint32_t id) {
    if (entry.driver.kind == Driver::Kind::unicable && id >= 3 && id <= 5)
        return {"unicable", unicable_keys[id - 3]};
    return {"extension", std::to_string(id), "value"};
}

// Sets the value in the parsed bench; false when the entry has no place for it.
bool apply_value(json& doc, size_t index, const std::vector<std::string>& keys, int32_t value) {
    if (!doc.is_object() || !doc.contains("tuners") || !doc["tuners"].is_array() ||
        index >= doc["tuners"].size())
        return false;
    json* node = &doc["tuners"][index];
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
        if (!node->is_object() || !node->contains(keys[i]))
            return false;
        node = &(*node)[keys[i]];
    }
    if (!node->is_object())
        return false;
    (*node)[keys.back()] = value;
    return true;
}

// The bench text with only the value changed (or, when its key is missing, added at the end
// of its object), so that the file keeps its layout. Works on valid JSON text only.
class Splicer {
  public:
    explicit Splicer(const std::string& text) : text_(text) {}

    std::optional<std::string> set(size_t index, const std::vector<std::string>& keys,
                                   int32_t value) {
        size_t at = skip_space(0);
        auto root = span_at(at);
        if (!root || text_[at] != '{')
            return std::nullopt;
        auto node = member(*root, "tuners");
        if (!node || text_[node->first] != '[')
            return std::nullopt;
        node = element(*node, index);
        for (size_t i = 0; node && i + 1 < keys.size(); ++i)
            node = member(*node, keys[i]);
        if (!node || text_[node->first] != '{')
            return std::nullopt;
        std::string number = std::to_string(value);
        if (auto target = member(*node, keys.back()))
            return text_.substr(0, target->first) + number + text_.substr(target->second);
        // Add the key before the object's closing brace.
        size_t last = node->second - 1;
        size_t before = last;
        while (before > node->first && is_space(text_[before - 1]))
            --before;
        std::string addition =
            (text_[before - 1] == '{' ? "" : ", ") + json(keys.back()).dump() + ": " + number;
        return text_.substr(0, before) + addition + text_.substr(before);
    }

  private:
    using Span = std::pair<size_t, size_t>; // [first, second)

    static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

    size_t skip_space(size_t i) const {
        while (i < text_.size() && is_space(text_[i]))
            ++i;
        return i;
    }

    // The span of the value that starts at i.
    std::optional<Span> span_at(size_t i) const {
        if (i >= text_.size())
            return std::nullopt;
        size_t start = i;
        char c = text_[i];
        if (c == '"') {
            for (++i; i < text_.size(); ++i) {
                if (text_[i] == '\\')
                    ++i;
                else if (text_[i] == '"')
                    return Span{start, i + 1};
            }
            return std::nullopt;
        }
        if (c == '{' || c == '[') {
            int depth = 0;
            for (; i < text_.size(); ++i) {
                char d = text_[i];
                if (d == '"') {
                    auto str = span_at(i);
                    if (!str)
                        return std::nullopt;
                    i = str->second - 1;
                } else if (d == '{' || d == '[') {
                    ++depth;
                } else if ((d == '}' || d == ']') && --depth == 0) {
                    return Span{start, i + 1};
                }
            }
            return std::nullopt;
        }
        while (i < text_.size() && !is_space(text_[i]) && text_[i] != ',' && text_[i] != '}' &&
               text_[i] != ']')
            ++i;
        return i > start ? std::optional<Span>(Span{start, i}) : std::nullopt;
    }

    // Walks the members (objects) or elements (arrays) of a container; visit gets the key
    // span (objects only) and the value span, and returns true to stop.
    template <class Visit>
    std::optional<Span> walk(Span container, bool object, Visit visit) const {
        size_t i = skip_space(container.first + 1);
        size_t n = 0;
        while (i < container.second - 1) {
            std::optional<Span> key;
            if (object) {
                key = span_at(i);
                if (!key)
                    return std::nullopt;
                i = skip_space(key->second);
                if (i >= text_.size() || text_[i] != ':')
                    return std::nullopt;
                i = skip_space(i + 1);
            }
            auto value = span_at(i);
            if (!value)
                return std::nullopt;
            if (visit(key, *value, n++))
                return value;
            i = skip_space(value->second);
            if (i < text_.size() && text_[i] == ',')
                i = skip_space(i + 1);
        }
        return std::nullopt;
    }

    std::optional<Span> member(Span object, const std::string& name) const {
        if (text_[object.first] != '{')
            return std::nullopt;
        std::optional<Span> found;
        // The last occurrence of a key wins, as when the text is parsed.
        walk(object, true, [&](std::optional<Span> key, Span value, size_t) {
            try {
                if (json::parse(text_.substr(key->first, key->second - key->first)) == name)
                    found = value;
            } catch (const nlohmann::json::exception&) {
            }
            return false;
        });
        return found;
    }

    std::optional<Span> element(Span array, size_t index) const {
        return walk(array, false, [&](std::optional<Span>, Span, size_t n) { return n == index; });
    }

    const std::string& text_;
};

} // namespace

void store_property(Model& model, const Entry& entry, uint32_t id, int32_t value) {
    if (model.path.empty())
        return;
    const auto keys = value_keys(entry, id);
    // Normally the file still holds what the model was parsed from. If someone changed it
    // since, the value goes into the current content, so that their change survives.
    std::string base = model.bytes;
    json doc = model.doc;
    bool from_model = true;
    auto current = read_file(model.path);
    if (current && *current != model.bytes) {
        try {
            json edited = json::parse(*current);
            if (apply_value(edited, entry.index, keys, value)) {
                base = *current;
                doc = std::move(edited);
                from_model = false;
            }
        } catch (const nlohmann::json::exception&) {
        }
    }
    if (from_model && !apply_value(doc, entry.index, keys, value))
        return;

    std::string bytes;
    auto spliced = Splicer(base).set(entry.index, keys, value);
    try {
        if (spliced && json::parse(*spliced) == doc)
            bytes = *spliced;
    } catch (const nlohmann::json::exception&) {
    }
    if (bytes.empty())
        bytes = doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";

    std::string error;
    if (!write_atomically(model.path, bytes, error)) {
        std::fprintf(stderr, "bench: %s: cannot store the property value (%s)\n",
                     model.path.c_str(), error.c_str());
        std::fflush(stderr);
        return;
    }
    if (from_model) {
        // The cached model stays in force for the new content.
        model.doc = std::move(doc);
        model.bytes = std::move(bytes);
    }
}

} // namespace standin::detail

// ---------------------------------------------------------------------------------------
// Control surface.

namespace standin {

std::string check_bench(const std::string& path) {
    auto bytes = detail::read_file(path);
    if (!bytes)
        return "cannot read the file (" + std::string(std::strerror(errno)) + ")";
    try {
        detail::parse_bench(path, *bytes);
    } catch (const detail::BenchError& error) {
        return error.reason;
    }
    return std::string();
}

void startup() {
    if (const char* variable = std::getenv("MORVANE_BENCH")) {
        std::string path = variable;
        std::string reason = check_bench(path);
        if (!reason.empty()) {
            std::fprintf(stderr, "bench: %s: %s\n", path.c_str(), reason.c_str());
            std::fflush(stderr);
            std::exit(2);
        }
    }
    detail::current_bench();
    detail::ensure_exit_hook();
}

void reset() {
    {
        std::lock_guard lock(detail::bench_mutex());
        detail::state() = detail::BenchState{};
    }
    detail::forget_thread_initialization();
    detail::forget_message_box_handler();
}

} // namespace standin
