// The bench model: loading and validating bench text, the rules of the driver's property set
// and of pins, and the text helpers the messages need.

#include "simulator/bench/bench_model.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <initializer_list>

namespace bench {

using json = nlohmann::ordered_json;

// ---------------------------------------------------------------------------------------
// Text.

namespace {

// Decodes one UTF-8 sequence at text[i]: its length, or 0 when it is ill-formed (overlong,
// a surrogate, beyond U+10FFFF, or cut short).
std::size_t decode_utf8(std::string_view text, std::size_t i, uint32_t& cp) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = byte(i);
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    const std::size_t length = (c & 0xE0) == 0xC0   ? 2
                               : (c & 0xF0) == 0xE0 ? 3
                               : (c & 0xF8) == 0xF0 ? 4
                                                    : 0;
    // The smallest code point each length may carry (a smaller one is overlong).
    constexpr uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (length == 0 || i + length > text.size())
        return 0;
    cp = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < minimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
        return 0;
    return length;
}

// Characters that print nothing visible or break the line.
bool invisible(uint32_t cp) {
    return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0) || cp == 0xAD || cp == 0x061C ||
           cp == 0x180E || (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) ||
           (cp >= 0x2060 && cp <= 0x206F) || cp == 0xFEFF || (cp >= 0xFFF9 && cp <= 0xFFFB) ||
           cp == 0xFFFE || cp == 0xFFFF || (cp >= 0xE0000 && cp <= 0xE007F);
}

std::string hex_escape(const char* format, uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, static_cast<unsigned>(value));
    return buffer;
}

// printable(), where escape_quotes false leaves quotes and backslashes as they are (for
// free text that is not a key or value).
std::string one_line(std::string_view text, std::size_t max_chars, bool escape_quotes) {
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++chars) {
        if (chars == max_chars) {
            out += "...";
            break;
        }
        uint32_t cp = 0;
        std::size_t length = decode_utf8(text, i, cp);
        if (length == 0) {
            out += hex_escape("\\x%02x", static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (escape_quotes && (cp == '"' || cp == '\\')) {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (invisible(cp)) {
            out += hex_escape(cp > 0xFFFF ? "\\U%08x" : "\\u%04x", cp);
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

} // namespace

std::string printable(std::string_view text, std::size_t max_chars) {
    return one_line(text, max_chars, true);
}

std::string in_quotes(std::string_view text, std::size_t max_chars) {
    return "\"" + printable(text, max_chars) + "\"";
}

std::u16string utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        std::size_t length = decode_utf8(text, i, cp);
        if (length == 0) {
            cp = 0xFFFD;
            length = 1;
        }
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        // The lead byte, then 6 bits in each continuation byte.
        constexpr unsigned char lead[] = {0x00, 0xC0, 0xE0, 0xF0};
        const int more = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
        out.push_back(static_cast<char>(lead[more] | (cp >> (6 * more))));
        for (int k = more - 1; k >= 0; --k)
            out.push_back(static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F)));
    }
    return out;
}

std::string hr_text(HRESULT hr) {
    return hex_escape("0x%08x", static_cast<uint32_t>(hr));
}

std::string guid_text(const GUID& g) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buffer;
}

std::optional<GUID> parse_guid(std::u16string_view text) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (text.size() != 38 || text.front() != u'{' || text.back() != u'}')
        return std::nullopt;
    uint8_t bytes[16];
    std::size_t n = 0;
    unsigned nibble_count = 0;
    unsigned value = 0;
    for (std::size_t i = 1; i < 37; ++i) {
        char16_t c = text[i];
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (c != u'-')
                return std::nullopt;
            continue;
        }
        unsigned digit = hex_digit(c);
        if (digit > 15)
            return std::nullopt;
        value = (value << 4) | digit;
        if (++nibble_count == 2) {
            bytes[n++] = static_cast<uint8_t>(value);
            nibble_count = 0;
            value = 0;
        }
    }
    GUID g;
    g.Data1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) |
              bytes[3];
    g.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    g.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = bytes[8 + i];
    return g;
}

unsigned hex_digit(char32_t c) {
    return c >= '0' && c <= '9'   ? unsigned(c - '0')
           : c >= 'a' && c <= 'f' ? unsigned(c - 'a' + 10)
           : c >= 'A' && c <= 'F' ? unsigned(c - 'A' + 10)
                                  : 16u;
}

std::string cannot_read_reason(std::string_view system_message) {
    return "cannot read the file (" + one_line(system_message, 200, false) + ")";
}

std::string not_regular_reason(std::string_view kind) {
    return "not a regular file (" + std::string(kind) + ")";
}

std::string too_large_reason(std::uint64_t size) {
    return "the file is too large (" + std::to_string(size) + " bytes; a bench holds at most " +
           std::to_string(max_bytes) + " bytes, 16 MiB)";
}

// ---------------------------------------------------------------------------------------
// The driver's property set and the pins.

const Prop* find_property(const Driver& driver, uint32_t id, HRESULT& hr) {
    if (driver.kind == Driver::Kind::lacks_set) {
        hr = E_PROP_SET_UNSUPPORTED;
        return nullptr;
    }
    auto it = driver.props.find(id);
    if (it == driver.props.end()) {
        hr = E_PROP_ID_UNSUPPORTED;
        return nullptr;
    }
    hr = S_OK;
    return &it->second;
}

namespace {

Access access(const std::optional<HRESULT>& fails, bool allowed) {
    Access a;
    a.hr = fails.value_or(allowed ? S_OK : E_PROP_ID_UNSUPPORTED);
    a.takes_effect = allowed && SUCCEEDED(a.hr);
    return a;
}

PinDesc pin(const char* name, PIN_DIRECTION direction, std::string medium) {
    PinDesc desc;
    desc.name = name;
    desc.direction = direction;
    desc.medium = std::move(medium);
    return desc;
}

} // namespace

Access query_access(const Prop& prop) {
    return access(prop.query_fails, true);
}

Access get_access(const Prop& prop) {
    return access(prop.get_fails, (prop.support & KSPROPERTY_SUPPORT_GET) != 0);
}

Access set_access(const Prop& prop) {
    return access(prop.set_fails, (prop.support & KSPROPERTY_SUPPORT_SET) != 0);
}

bool media_match(const std::string& out, const std::string& in) {
    return out == in || out == "*" || in == "*";
}

std::vector<PinDesc> network_provider_pins() {
    return {pin("Antenna Out", PINDIR_OUTPUT, "antenna")};
}

std::vector<PinDesc> demultiplexer_pins() {
    return {pin("MPEG-2 Stream", PINDIR_INPUT, "transport"), pin("PSI", PINDIR_OUTPUT, "tables"),
            pin("Video", PINDIR_OUTPUT, "*")};
}

std::vector<PinDesc> null_renderer_pins() {
    return {pin("In", PINDIR_INPUT, "*")};
}

const std::vector<Entry>& Bench::entries(Category category) const {
    switch (category) {
    case Category::tuners:
        return tuners;
    case Category::captures:
        return captures;
    default:
        return transport_information;
    }
}

std::optional<HRESULT> fault_for(const std::map<std::string, HRESULT>& faults,
                                 const std::string& name) {
    auto it = faults.find(name);
    if (it == faults.end())
        return std::nullopt;
    return it->second;
}

// ---------------------------------------------------------------------------------------
// Validation.

namespace {

struct BenchError {
    std::string reason;
};

[[noreturn]] void reject(const std::string& path, const std::string& what) {
    throw BenchError{path.empty() ? what : path + ": " + what};
}

std::string member(const std::string& path, const std::string& key) {
    std::string name = printable(key);
    return path.empty() ? name : path + "." + name;
}

std::string element(const std::string& path, std::size_t index) {
    return path + "[" + std::to_string(index) + "]";
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
    for (auto it = object.begin(); it != object.end(); ++it)
        if (std::none_of(allowed.begin(), allowed.end(),
                         [&](const char* key) { return it.key() == key; }))
            reject(member(path, it.key()), "unknown key");
}

// Reads value[key] with get into field, when the member is there.
template <class T, class Get>
void read_member(const std::string& path, const json& value, const char* key, T& field, Get get) {
    if (value.contains(key))
        field = get(member(path, key), value[key]);
}

// Appends the elements of the array value[key], each read with parse, to list, when the member
// is there.
template <class T, class Parse>
void read_list(const std::string& path, const json& value, const char* key, std::vector<T>& list,
               Parse parse) {
    if (!value.contains(key))
        return;
    const std::string p = member(path, key);
    require_array(p, value[key]);
    for (std::size_t i = 0; i < value[key].size(); ++i)
        list.push_back(parse(element(p, i), value[key][i]));
}

std::string one_of(const std::vector<std::string>& names, const char* last = " or ") {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? last : ", ") + in_quotes(names[i]);
    return text;
}

std::string get_string(const std::string& path, const json& value) {
    if (!value.is_string())
        wrong_type(path, value, "a string");
    return value.get<std::string>();
}

// The position of the string value among names; any other value is refused.
std::size_t get_choice(const std::string& path, const json& value,
                       const std::vector<std::string>& names) {
    std::string text = get_string(path, value);
    auto it = std::find(names.begin(), names.end(), text);
    if (it == names.end())
        reject(path, in_quotes(text) + " is not " + one_of(names));
    return static_cast<std::size_t>(it - names.begin());
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
    const std::string& text = value.get_ref<const std::string&>();
    if (text == "S_FALSE")
        return S_FALSE;
    bool hex = text.size() > 2 && text.size() <= 10 && text[0] == '0' &&
               (text[1] == 'x' || text[1] == 'X');
    uint32_t code = 0;
    for (std::size_t i = 2; hex && i < text.size(); ++i) {
        unsigned digit = hex_digit(static_cast<unsigned char>(text[i]));
        hex = digit < 16;
        code = (code << 4) | (digit & 0xF);
    }
    if (!hex)
        reject(path, in_quotes(text) +
                         " is not a hexadecimal result code (write it like \"0x80004005\", "
                         "or \"S_FALSE\")");
    return static_cast<HRESULT>(code);
}

BagValue get_bag_value(const std::string& path, const json& value) {
    BagValue out;
    if (value.is_null())
        return out;
    if (value.is_string()) {
        out.kind = BagValue::Kind::text;
        out.text = utf16(value.get_ref<const std::string&>());
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
    const PIN_DIRECTION directions[] = {PINDIR_INPUT, PINDIR_OUTPUT};
    pin.direction =
        directions[get_choice(member(path, "direction"), value["direction"], {"in", "out"})];
    pin.name = pin.direction == PINDIR_INPUT ? "In" : "Out";
    pin.medium = "*";
    read_member(path, value, "name", pin.name, get_string);
    read_member(path, value, "medium", pin.medium, get_string);
    read_member(path, value, "connected", pin.connected, get_bool);
    read_member(path, value, "pin_info_fails", pin.pin_info_fails, get_bool);
    read_member(path, value, "refuses", pin.refuses, get_bool);
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
    read_list(path, value, "node_types", topology.node_types, get_unsigned32);
    read_list(path, value, "functions", topology.functions, parse_function);
    const Topology::Fail fails[] = {Topology::Fail::node_types, Topology::Fail::descriptors};
    if (value.contains("fail"))
        topology.fail = fails[get_choice(member(path, "fail"), value["fail"],
                                         {"GetNodeTypes", "GetNodeDescriptors"})];
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
    read_member(path, value, "value", prop.value, get_value32);
    read_member(path, value, "query_fails", prop.query_fails, get_hr);
    read_member(path, value, "get_fails", prop.get_fails, get_hr);
    read_member(path, value, "set_fails", prop.set_fails, get_hr);
    return prop;
}

Driver parse_driver(const std::string& path, const json& entry) {
    Driver driver;
    if (entry.contains("unicable")) {
        std::string p = member(path, "unicable");
        const json& value = entry["unicable"];
        require_object(p, value);
        for (auto it = value.begin(); it != value.end(); ++it)
            if (std::none_of(
                    std::begin(extension_properties), std::end(extension_properties),
                    [&](const ExtensionProperty& known) { return it.key() == known.unicable_key; }))
                reject(member(p, it.key()), "unknown key");
        driver.kind = Driver::Kind::unicable;
        for (const ExtensionProperty& property : extension_properties) {
            Prop prop;
            prop.support = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
            const char* key = property.unicable_key;
            if (value.contains(key))
                prop.value = get_value32(member(p, key), value[key]);
            driver.props[property.id] = prop;
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
            const ExtensionProperty* property = nullptr;
            std::vector<std::string> ids;
            for (const ExtensionProperty& known : extension_properties) {
                ids.push_back(std::to_string(known.id));
                if (key == ids.back())
                    property = &known;
            }
            if (!property)
                reject(member(p, key),
                       "unknown key (the properties are " + one_of(ids, " and ") + ")");
            driver.props[property->id] = parse_prop(member(p, key), it.value());
        }
    }
    return driver;
}

void default_pins(Entry& entry) {
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

Entry parse_entry(const std::string& path, const json& value, Category category,
                  std::size_t index) {
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
    read_member(path, value, "id", entry.id, get_string);
    read_member(path, value, "present", entry.present, get_bool);
    read_member(path, value, "friendly_name", entry.friendly_name, get_bag_value);
    read_member(path, value, "device_path", entry.device_path, get_bag_value);
    std::vector<std::size_t> faults;
    read_list(path, value, "faults", faults, [](const std::string& p, const json& fault) {
        return get_choice(p, fault, {"StringFromCLSID", "BindToStorage", "BindToObject"});
    });
    bool Entry::*const fails[] = {&Entry::string_from_clsid_fails, &Entry::bind_to_storage_fails,
                                  &Entry::bind_to_object_fails};
    for (std::size_t fault : faults)
        entry.*fails[fault] = true;
    if (entry.device_path.kind == BagValue::Kind::text)
        entry.link = utf8(entry.device_path.text);
    read_member(path, value, "link", entry.link, get_string);

    if (category == Category::tuners) {
        const std::vector<std::string> standards = {"dvb-s", "dvb-c", "dvb-t", "none"};
        std::string standard = "none";
        if (value.contains("standard"))
            standard =
                standards[get_choice(member(path, "standard"), value["standard"], standards)];
        entry.topology = value.contains("topology")
                             ? parse_topology(member(path, "topology"), value["topology"])
                             : standard_topology(standard);
        entry.driver = parse_driver(path, value);
    }

    read_list(path, value, "pins", entry.pins, parse_pin);
    if (!value.contains("pins"))
        default_pins(entry);
    return entry;
}

// Reads the category doc[key] into entries, when the member is there.
bool read_category(const json& doc, const char* key, Category category,
                   std::vector<Entry>& entries) {
    if (!doc.contains(key))
        return false;
    const json& list = doc[key];
    require_array(key, list);
    entries.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        entries.push_back(parse_entry(element(key, i), list[i], category, i));
    return true;
}

std::vector<Entry> standard_transport_information() {
    std::vector<Entry> entries;
    const char* names[] = {"BDA MPEG2 Transport Information Filter", "MPEG-2 Sections and Tables"};
    for (std::size_t i = 0; i < 2; ++i) {
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

// Reads the object faults[key], of result codes by names, into out, when the member is there.
template <class Names>
void parse_hr_map(const json& faults, const char* key, const Names& names, const std::string& what,
                  std::map<std::string, HRESULT>& out) {
    if (!faults.contains(key))
        return;
    const std::string path = member("faults", key);
    const json& value = faults[key];
    require_object(path, value);
    for (auto it = value.begin(); it != value.end(); ++it) {
        if (std::none_of(std::begin(names), std::end(names),
                         [&](const char* name) { return it.key() == name; })) {
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
    read_member(path, value, "CoInitialize", faults.co_initialize, get_hr);
    read_member(path, value, "StringFromIID", faults.string_from_iid, get_hr);
    static const char* const classes[] = {
        "SystemDeviceEnum",    "FilterGraphNoThread", "DVBSTuningSpace", "DVBSLocator",
        "DVBSNetworkProvider", "MPEG2Demultiplexer",  "NullRenderer"};
    static const char* const categories[] = {"tuners", "captures", "transport_information"};
    static const char* const methods[] = {
        "IDVBSTuningSpace::put_NetworkType", "IDVBSTuningSpace::CreateTuneRequest",
        "IDVBSLocator::put_Modulation",      "ITuner::put_TuningSpace",
        "ITuner::put_TuneRequest",           "IFilterGraph::AddFilter"};
    parse_hr_map(value, "CoCreateInstance", classes, "class", faults.co_create_instance);
    parse_hr_map(value, "CreateClassEnumerator", categories, "category",
                 faults.create_class_enumerator);
    parse_hr_map(value, "results", methods, "method", faults.results);
    return faults;
}

Bench validate(const json& doc) {
    Bench bench;
    if (!doc.is_object())
        wrong_type("the bench", doc,
                   "an object with \"tuners\", \"captures\", "
                   "\"transport_information\" and \"faults\"");
    check_keys("", doc, {"tuners", "captures", "transport_information", "faults"});
    read_category(doc, "tuners", Category::tuners, bench.tuners);
    read_category(doc, "captures", Category::captures, bench.captures);
    if (!read_category(doc, "transport_information", Category::transport_information,
                       bench.transport_information))
        bench.transport_information = standard_transport_information();
    if (doc.contains("faults"))
        bench.faults = parse_faults(doc["faults"]);
    return bench;
}

// ---------------------------------------------------------------------------------------
// Reading the text.

// "line L, column C" of the byte at offset (both counted from 1; columns in bytes).
std::string line_and_column(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    std::size_t line =
        1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
    std::size_t line_start = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    std::size_t column =
        (line_start == std::string_view::npos || offset == 0) ? offset + 1 : offset - line_start;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Refuses what the parser and the validation must never see: NUL bytes (the JSON library
// takes one for the end of the text), nesting beyond max_depth, and arrays and objects
// beyond their size limits. One pass without recursion; strings are skipped as JSON lexes
// them, so what the parser accepts is measured exactly.
std::optional<std::string> check_structure(std::string_view text) {
    if (std::size_t nul = text.find('\0'); nul != std::string_view::npos)
        return "contains a NUL byte at offset " + std::to_string(nul) + " (" +
               line_and_column(text, nul) + "); a bench is text";
    struct Open {
        bool array;
        std::size_t commas;
    };
    std::vector<Open> open;
    open.reserve(max_depth);
    bool in_string = false;
    bool escaped = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
            continue;
        }
        switch (c) {
        case '"':
            in_string = true;
            break;
        case '[':
        case '{':
            if (open.size() == max_depth)
                return "nested deeper than " + std::to_string(max_depth) + " levels at " +
                       line_and_column(text, i);
            open.push_back({c == '[', 0});
            break;
        case ']':
        case '}':
            if (!open.empty())
                open.pop_back();
            break;
        case ',':
            if (!open.empty()) {
                Open& o = open.back();
                std::size_t limit = o.array ? max_array_elements : max_object_members;
                if (++o.commas >= limit)
                    return std::string(o.array ? "an array of more than "
                                               : "an object of more than ") +
                           std::to_string(limit) + (o.array ? " elements" : " members") + " at " +
                           line_and_column(text, i);
            }
            break;
        default:
            break;
        }
    }
    return std::nullopt;
}

// The DOM parser of the JSON library, remembering where and why it stopped.
class Parser : public nlohmann::detail::json_sax_dom_parser<json> {
  public:
    explicit Parser(json& root) : json_sax_dom_parser(root, false) {}

    template <class Exception>
    bool parse_error(std::size_t position, const std::string& token, const Exception& ex) {
        stopped_at = position;
        detail = ex.what();
        return json_sax_dom_parser::parse_error(position, token, ex);
    }

    std::size_t stopped_at = 0; // characters read, counting the one that stopped the parse
    std::string detail;
};

std::string parse_error_reason(std::string_view text, const Parser& parser) {
    std::size_t stop = parser.stopped_at == 0 ? 0 : parser.stopped_at - 1;
    // "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error ...":
    // the library's own position counts differently, only its explanation is kept.
    std::string detail = parser.detail;
    if (std::size_t at = detail.find("column "); at != std::string::npos) {
        if (std::size_t colon = detail.find(": ", at); colon != std::string::npos)
            detail = detail.substr(colon + 2);
    } else if (detail.rfind("[json.exception.", 0) == 0) {
        if (std::size_t end = detail.find("] "); end != std::string::npos)
            detail = detail.substr(end + 2);
    }
    return "invalid JSON at " + line_and_column(text, stop) + ": " + one_line(detail, 160, false);
}

} // namespace

Loaded load(std::string_view text) {
    Loaded loaded;
    try {
        if (auto refused = check_structure(text)) {
            loaded.reason = *refused;
            return loaded;
        }
        json doc;
        Parser parser(doc);
        if (!json::sax_parse(text.begin(), text.end(), &parser)) {
            loaded.reason = parse_error_reason(text, parser);
            return loaded;
        }
        loaded.bench = validate(doc);
    } catch (const BenchError& error) {
        loaded.bench.reset();
        loaded.reason = error.reason;
    } catch (const std::exception& error) {
        // The JSON library's own exceptions, and running out of memory.
        loaded.bench.reset();
        loaded.reason = "cannot be loaded (" + one_line(error.what(), 160, false) + ")";
    }
    return loaded;
}

Bench empty_pc() {
    return Bench{};
}

} // namespace bench
