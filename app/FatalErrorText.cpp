// Composition of the fatal error box's text.
#include "app/FatalErrorText.h"

#include "ui/UiTexts.h"

#include <cstring>

namespace picbox {

namespace {

// Signed decimal without the C library's locale or heap: the box must work when nothing else does.
std::size_t FormatSigned(std::int32_t value, char* out)
{
    char digits[12];
    std::size_t n = 0;
    // Work in 64 bits so that INT32_MIN negates safely.
    std::int64_t v = value;
    const bool negative = v < 0;
    if (negative)
        v = -v;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    std::size_t len = 0;
    if (negative)
        out[len++] = '-';
    while (n > 0)
        out[len++] = digits[--n];
    return len;
}

} // namespace

FatalErrorText::FatalErrorText(std::string_view message, std::int32_t code,
                               std::int32_t windowNumber, std::int32_t controlNumber)
{
    Append(texts::kErrorHeading);
    if (code != 0) {
        Append(texts::kErrorCodeLabel);
        AppendNumber(code);
        Append("\r\n");
    }
    if (!message.empty()) {
        Append(texts::kErrorMessageLabel);
        Append(message);
        Append("\r\n");
    }
    Append("\r\n");
    AppendNumber(windowNumber);
    Append(", ");
    AppendNumber(controlNumber);
    Append("\r\n");
    text_[length_] = '\0';
}

void FatalErrorText::Append(std::string_view part)
{
    // Keep one byte for the NUL; a message too long for the box is cut, not overrun.
    const std::size_t room = kCapacity - 1 - length_;
    const std::size_t n = part.size() < room ? part.size() : room;
    std::memcpy(text_ + length_, part.data(), n);
    length_ += n;
}

void FatalErrorText::AppendNumber(std::int32_t value)
{
    char digits[12];
    Append({digits, FormatSigned(value, digits)});
}

AllocationFailedMessage::AllocationFailedMessage(std::int32_t bytes)
{
    // The message has one %d, replaced by the byte count.
    const std::string_view pattern = texts::kAllocationFailed;
    const std::size_t found = pattern.find("%d");
    const std::size_t at = found < pattern.size() ? found : pattern.size();
    std::memcpy(text_, pattern.data(), at);
    length_ = at;
    length_ += FormatSigned(bytes, text_ + length_);
    const std::string_view rest = pattern.substr(at + 2 <= pattern.size() ? at + 2 : at);
    std::memcpy(text_ + length_, rest.data(), rest.size());
    length_ += rest.size();
    text_[length_] = '\0';
}

} // namespace picbox
