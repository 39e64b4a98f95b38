// The text of the fatal error box, built without touching the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace picbox {

// A fixed buffer: the report must still be composed when memory has just been refused.
class FatalErrorText {
public:
    // "运行时出错!\r\n", then "\r\n错误代码：<code>\r\n" when code != 0, then
    // "\r\n错误信息：<message>\r\n" when the message is not empty, then "\r\n<a>, <b>\r\n".
    FatalErrorText(std::string_view message, std::int32_t code, std::int32_t windowNumber,
                   std::int32_t controlNumber);

    std::string_view View() const { return {text_, length_}; }
    const char* CStr() const { return text_; }

private:
    void Append(std::string_view part);
    void AppendNumber(std::int32_t value);

    static constexpr std::size_t kCapacity = 1024;
    char text_[kCapacity];
    std::size_t length_ = 0;
};

// "分配 <bytes> 字节内存失败!" into a fixed buffer.
class AllocationFailedMessage {
public:
    explicit AllocationFailedMessage(std::int32_t bytes);
    std::string_view View() const { return {text_, length_}; }

private:
    char text_[64];
    std::size_t length_ = 0;
};

} // namespace picbox
