// Reading a number the user typed into one of the Unicable page's boxes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace MorvaneControlCenter {

// A decimal integer from -2147483648 to 2147483647: white space (tab, line feed, vertical
// tab, form feed, carriage return, space) before and after it and one leading '+' or '-' are
// allowed, nothing else - no unit, no group separator, no decimal point, no hexadecimal.
// Empty optional when the text is not such a number.
std::optional<int32_t> parseWholeNumber(std::u16string_view text);

} // namespace MorvaneControlCenter
