// Stored property values: the bench text with one number changed, so that a file keeps its
// layout, key order and everything else its author wrote.
//
// The text has passed load(), so it is JSON within the nesting and size limits; the walk over
// it is a loop over spans, without recursion, and the result is loaded again before use.

#include "simulator/bench/bench_model.h"

#include <utility>

namespace bench {

namespace {

// A JSON string literal, with its escapes decoded, as UTF-8.
std::string decode_string(std::string_view literal) {
    std::u16string units;
    std::string out;
    auto flush = [&] {
        out += utf8(units);
        units.clear();
    };
    auto hex4 = [&](std::size_t at) {
        unsigned value = 0;
        for (std::size_t k = at; k < at + 4 && k < literal.size(); ++k)
            value = (value << 4) | (hex_digit(static_cast<unsigned char>(literal[k])) & 0xF);
        return static_cast<char16_t>(value);
    };
    // Between the quotes.
    for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
        char c = literal[i];
        if (c != '\\') {
            flush();
            out += c;
            continue;
        }
        char e = i + 1 < literal.size() ? literal[++i] : '\\';
        if (e == 'u') {
            units.push_back(hex4(i + 1));
            i += 4;
            continue;
        }
        flush();
        // \" \\ \/ stand for themselves.
        constexpr std::string_view escapes = "bfnrt", escaped = "\b\f\n\r\t";
        std::size_t k = escapes.find(e);
        out += k == std::string_view::npos ? e : escaped[k];
    }
    flush();
    return out;
}

class Splicer {
  public:
    explicit Splicer(std::string_view text) : text_(text) {}

    // The text with the number at tuners[index].keys... replaced by value, or added at the
    // end of the innermost object when its last key is missing.
    std::optional<std::string> set(std::size_t index, const std::vector<std::string>& keys,
                                   int32_t value) const {
        // A byte-order mark (as some editors save UTF-8) stays in front of the text.
        std::size_t at = skip_space(text_.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0);
        auto node = span_at(at);
        if (!node || text_[at] != '{')
            return std::nullopt;
        node = member(*node, "tuners");
        if (!node || text_[node->first] != '[')
            return std::nullopt;
        node = element(*node, index);
        for (std::size_t i = 0; node && i + 1 < keys.size(); ++i)
            node = member(*node, keys[i]);
        if (!node || text_[node->first] != '{')
            return std::nullopt;
        std::string number = std::to_string(value);
        if (auto target = member(*node, keys.back()))
            return splice(target->first, target->second, number);
        // Add the key before the object's closing brace.
        std::size_t before = node->second - 1;
        while (before > node->first && is_space(text_[before - 1]))
            --before;
        std::string addition =
            (text_[before - 1] == '{' ? "" : ", ") + ("\"" + keys.back() + "\": ") + number;
        return splice(before, before, addition);
    }

  private:
    using Span = std::pair<std::size_t, std::size_t>; // [first, second)

    // The text with its bytes [first, second) replaced by insert.
    std::string splice(std::size_t first, std::size_t second, std::string_view insert) const {
        std::string out(text_.substr(0, first));
        return out.append(insert).append(text_.substr(second));
    }

    static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

    std::size_t skip_space(std::size_t i) const {
        while (i < text_.size() && is_space(text_[i]))
            ++i;
        return i;
    }

    // The end of the string literal that starts at i (just past its closing quote).
    std::optional<std::size_t> string_end(std::size_t i) const {
        for (++i; i < text_.size(); ++i) {
            if (text_[i] == '\\')
                ++i;
            else if (text_[i] == '"')
                return i + 1;
        }
        return std::nullopt;
    }

    // The span of the value that starts at i.
    std::optional<Span> span_at(std::size_t i) const {
        if (i >= text_.size())
            return std::nullopt;
        std::size_t start = i;
        char c = text_[i];
        if (c == '"') {
            auto end = string_end(i);
            return end ? std::optional<Span>(Span{start, *end}) : std::nullopt;
        }
        if (c == '{' || c == '[') {
            std::size_t depth = 0;
            for (; i < text_.size(); ++i) {
                char d = text_[i];
                if (d == '"') {
                    auto end = string_end(i);
                    if (!end)
                        return std::nullopt;
                    i = *end - 1;
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
    // span (objects only) and the value span, and returns true to stop there.
    template <class Visit>
    std::optional<Span> walk(Span container, bool object, Visit visit) const {
        std::size_t i = skip_space(container.first + 1);
        std::size_t n = 0;
        while (i < container.second - 1) {
            std::optional<Span> key;
            if (object) {
                key = span_at(i);
                if (!key || text_[i] != '"')
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
        // The last occurrence of a key wins, as when the text is loaded.
        walk(object, true, [&](std::optional<Span> key, Span value, std::size_t) {
            if (decode_string(text_.substr(key->first, key->second - key->first)) == name)
                found = value;
            return false;
        });
        return found;
    }

    std::optional<Span> element(Span array, std::size_t index) const {
        return walk(array, false,
                    [&](std::optional<Span>, Span, std::size_t n) { return n == index; });
    }

    std::string_view text_;
};

// Where a property's value lives within its tuner entry, or nothing when the entry has no
// place for it.
std::optional<std::vector<std::string>> value_keys(const Bench& model, std::size_t index,
                                                   uint32_t id) {
    if (index >= model.tuners.size() || model.tuners[index].is_marker)
        return std::nullopt;
    const Driver& driver = model.tuners[index].driver;
    HRESULT hr;
    if (!find_property(driver, id, hr))
        return std::nullopt;
    for (const ExtensionProperty& property : extension_properties)
        if (driver.kind == Driver::Kind::unicable && property.id == id)
            return std::vector<std::string>{"unicable", property.unicable_key};
    return std::vector<std::string>{"extension", std::to_string(id), "value"};
}

} // namespace

std::optional<std::string> with_property_value(std::string_view text, const Bench& model,
                                               std::size_t index, uint32_t id, int32_t value) {
    auto keys = value_keys(model, index, id);
    if (!keys)
        return std::nullopt;
    auto spliced = Splicer(text).set(index, *keys, value);
    if (!spliced)
        return std::nullopt;
    // The new text must be the same bench with this one value changed.
    Loaded check = load(*spliced);
    if (!check.bench || check.bench->tuners.size() != model.tuners.size())
        return std::nullopt;
    const Driver& before = model.tuners[index].driver;
    const Driver& after = check.bench->tuners[index].driver;
    HRESULT hr;
    const Prop* stored = find_property(after, id, hr);
    if (after.kind != before.kind || !stored || stored->value != value)
        return std::nullopt;
    return spliced;
}

std::optional<std::size_t> find_same_tuner(const Bench& other, const Entry& tuner) {
    auto same_path = [](const BagValue& a, const BagValue& b) {
        return a.kind == b.kind && a.text == b.text && a.number == b.number;
    };
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < other.tuners.size(); ++i) {
        const Entry& candidate = other.tuners[i];
        if (candidate.is_marker || candidate.id != tuner.id ||
            !same_path(candidate.device_path, tuner.device_path))
            continue;
        if (found)
            return std::nullopt; // two candidates: which one is meant cannot be told
        found = i;
    }
    return found;
}

std::optional<std::string> stored_text(std::string_view current, std::string_view in_force_text,
                                       const Bench& in_force, const Entry& tuner, uint32_t id,
                                       int32_t value, std::string& why) {
    std::optional<std::string> text;
    if (current == in_force_text) {
        text = with_property_value(in_force_text, in_force, tuner.index, id, value);
    } else {
        Loaded edited = load(current);
        if (!edited.bench) {
            why = "its content is not a valid bench: " + edited.reason;
            return std::nullopt;
        }
        auto index = find_same_tuner(*edited.bench, tuner);
        if (!index) {
            why =
                "it no longer holds tuner \"" + printable(tuner.id, 64) + "\" with its device path";
            return std::nullopt;
        }
        text = with_property_value(current, *edited.bench, *index, id, value);
    }
    if (!text)
        why = "it has no place for property " + std::to_string(id) + " of tuners[" +
              std::to_string(tuner.index) + "]";
    return text;
}

} // namespace bench
