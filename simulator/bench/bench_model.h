// The bench model: what a bench file describes, how its text is loaded and validated, and
// how a stored property value changes its text. Shared by every program that simulates the
// platform from a bench: pure code without files, processes, globals or platform objects, so
// it builds against the stand-in's headers and against the Windows SDK alike.
//
// Input is untrusted: load() turns any byte sequence into either a validated model or one
// printable line that says why the text is refused, without recursing over the text's
// structure and without throwing.
#pragma once

#include "platform/com.h"
#include "platform/dshow.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// ---------------------------------------------------------------------------------------
// Limits. A bench describes one PC: a handful of devices in a few kilobytes. Text beyond a
// limit is refused with a reason that names the limit.

inline constexpr std::size_t max_bytes = std::size_t{16} << 20; // 16 MiB
// Arrays and objects nested in each other (a valid bench needs 5).
inline constexpr std::size_t max_depth = 64;
// Elements of one array: entries of a category, pins of an entry, node types, functions.
inline constexpr std::size_t max_array_elements = 4096;
// Members of one object (no object of a valid bench has more than 11 distinct keys).
inline constexpr std::size_t max_object_members = 64;
// Characters of a key or value quoted in a reason; longer ones are cut with "...".
inline constexpr std::size_t max_quoted_chars = 64;

// ---------------------------------------------------------------------------------------
// The model.

enum class Category { tuners, captures, transport_information };

struct PinDesc {
    std::string name;
    PIN_DIRECTION direction = PINDIR_INPUT;
    std::string medium;
    bool connected = false;
    bool pin_info_fails = false;
    bool refuses = false;
};

// A bench value of the property bag: "FriendlyName" or "DevicePath".
struct BagValue {
    enum class Kind { absent, text, number } kind = Kind::absent;
    std::u16string text;
    int32_t number = 0;
};

// One property of the driver's extension set.
struct Prop {
    uint32_t support = 0;
    int32_t value = 0;
    std::optional<HRESULT> query_fails;
    std::optional<HRESULT> get_fails;
    std::optional<HRESULT> set_fails;
};

// The driver's extension properties: the id a call addresses and the key of the value in a
// tuner's `unicable` object. Under `extension` a property's key is its id in decimal.
struct ExtensionProperty {
    uint32_t id;
    const char* unicable_key;
};
inline constexpr ExtensionProperty extension_properties[] = {
    {3, "enabled"}, {4, "scr"}, {5, "frequency"}};

struct Driver {
    // lacks_set: neither `unicable` nor `extension`; absent: `"extension": "absent"`.
    enum class Kind { lacks_set, unicable, extension, absent } kind = Kind::lacks_set;
    std::map<uint32_t, Prop> props;
};

struct Topology {
    bool absent = false;
    std::vector<ULONG> node_types;
    std::vector<GUID> functions;
    enum class Fail { none, node_types, descriptors } fail = Fail::none;
};

struct Entry {
    Category category = Category::tuners;
    std::size_t index = 0; // position in its array of the file (or of the default list)
    bool is_marker = false;
    HRESULT next_fails = S_OK; // markers only

    std::string id;
    bool present = true;
    BagValue friendly_name;
    BagValue device_path;
    bool string_from_clsid_fails = false;
    bool bind_to_storage_fails = false;
    bool bind_to_object_fails = false;
    std::string link;
    std::vector<PinDesc> pins;

    // Tuners only.
    Topology topology;
    Driver driver;
};

struct Faults {
    std::optional<HRESULT> co_initialize;
    std::optional<HRESULT> string_from_iid;
    std::map<std::string, HRESULT> co_create_instance;      // by class name
    std::map<std::string, HRESULT> create_class_enumerator; // by category name
    std::map<std::string, HRESULT> results;                 // by "Interface::Method"
};

// A validated bench.
struct Bench {
    std::vector<Entry> tuners;
    std::vector<Entry> captures;
    std::vector<Entry> transport_information; // the two standard entries when the key is absent
    Faults faults;

    const std::vector<Entry>& entries(Category category) const;
};

// The result that one of the maps of Faults imposes on name, if any.
std::optional<HRESULT> fault_for(const std::map<std::string, HRESULT>& faults,
                                 const std::string& name);

// ---------------------------------------------------------------------------------------
// Loading.

// The outcome of loading bench text: the model, or the reason the text is refused (the
// REASON of "bench: FILE: REASON", one printable line).
struct Loaded {
    std::optional<Bench> bench;
    std::string reason;
};

// Checks, in this order, that the text holds no NUL byte, keeps within the nesting and size
// limits of its arrays and objects, is JSON, and is a bench; then builds the model.
Loaded load(std::string_view text);

// The bench of a PC without a bench file: every category empty, no faults.
Bench empty_pc();

// ---------------------------------------------------------------------------------------
// Stored property values.

// The text of a bench with the value of property id of the tuner at index changed, and
// nothing else: only the number's text is replaced (or, when the value's key is missing, the
// key and number are added at the end of its object), so the file keeps its layout. text
// must be a bench that load() accepted and model the model it gave. Nothing when that tuner
// has no place for the value (a marker, no such tuner, a driver without the property).
std::optional<std::string> with_property_value(std::string_view text, const Bench& model,
                                               std::size_t index, uint32_t id, int32_t value);

// The position, in another version of a bench, of the tuner entry `tuner`: the one tuner there
// with the same id and the same device path. Nothing when there is none or more than one, so
// that a value meant for one tuner never lands in another after an outside edit.
std::optional<std::size_t> find_same_tuner(const Bench& other, const Entry& tuner);

// What a driver writes into its bench file when property id of `tuner` (an entry of the bench
// in force, loaded from in_force_text) takes `value`, the file holding `current` now: the text
// in force with the number changed or, after an outside edit, the edited text when it is a valid
// bench that still holds that tuner. Nothing when the file must be left alone, with `why` saying
// so in a few printable words.
std::optional<std::string> stored_text(std::string_view current, std::string_view in_force_text,
                                       const Bench& in_force, const Entry& tuner, uint32_t id,
                                       int32_t value, std::string& why);

// ---------------------------------------------------------------------------------------
// The driver's property set and the pins, as every simulation of the platform presents them.

MCC_GUID(tuner_extension_set, 0x2D6A46DF, 0xA5BA, 0x4F76, 0x808B86734B59E935)

// The property a call addresses: nullptr with E_PROP_SET_UNSUPPORTED (the driver lacks the
// set) or E_PROP_ID_UNSUPPORTED (the set lacks the property) in hr, else S_OK.
const Prop* find_property(const Driver& driver, uint32_t id, HRESULT& hr);

// What a call on a property does: the result it returns, and whether it takes effect (reads
// or writes the value). A `*_fails` key decides the result; a call the support flags do not
// allow fails with E_PROP_ID_UNSUPPORTED; a failing call never takes effect.
struct Access {
    HRESULT hr = S_OK;
    bool takes_effect = false;
};
Access query_access(const Prop& prop);
Access get_access(const Prop& prop);
Access set_access(const Prop& prop);

// ConnectDirect's rule for media: equal, or either one is "*".
bool media_match(const std::string& out, const std::string& in);

std::vector<PinDesc> network_provider_pins(); // the DVB-S network provider
std::vector<PinDesc> demultiplexer_pins();    // the MPEG-2 demultiplexer
std::vector<PinDesc> null_renderer_pins();

// ---------------------------------------------------------------------------------------
// Text.

// UTF-8 to UTF-16 and back; ill-formed sequences become U+FFFD.
std::u16string utf16(std::string_view utf8);
std::string utf8(std::u16string_view utf16);
std::string hr_text(HRESULT hr);         // "0x%08x"
std::string guid_text(const GUID& guid); // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in either case).
std::optional<GUID> parse_guid(std::u16string_view text);
// The value of a hexadecimal digit in either case; 16 for any other character.
unsigned hex_digit(char32_t c);

// Text made safe for a one-line message: quotes, backslashes, control characters, invalid
// UTF-8 and invisible or line-breaking characters are escaped (\", \\, \n, \u001b, \xff,
// \u2028), and after max_chars characters the rest becomes "...". Printable UTF-8 stays.
std::string printable(std::string_view text, std::size_t max_chars = max_quoted_chars);
// The same between double quotes.
std::string in_quotes(std::string_view text, std::size_t max_chars = max_quoted_chars);

// The reasons a bench file cannot be read, worded alike by every file reader.
std::string cannot_read_reason(std::string_view system_message);
std::string not_regular_reason(std::string_view kind); // kind: "a named pipe", "a directory"...
std::string too_large_reason(std::uint64_t size);

} // namespace bench
