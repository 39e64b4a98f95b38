// Conversion of the program's GBK texts to UTF-16 for the wide Windows calls.
#pragma once

#include <windows.h>

#include <string_view>

namespace picbox {

inline constexpr UINT kGbkCodePage = 936;

// A GBK text as UTF-16 in a fixed buffer, so the Chinese texts read the same on every system
// code page. Longer texts are cut at the buffer's end; the result is always NUL-terminated.
template <std::size_t N>
class WideText {
public:
    explicit WideText(std::string_view gbk)
    {
        int n = 0;
        if (!gbk.empty())
            n = MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(gbk.size()),
                                    text_, static_cast<int>(N - 1));
        text_[n > 0 ? n : 0] = L'\0';
    }
    const wchar_t* Get() const { return text_; }

private:
    wchar_t text_[N];
};

} // namespace picbox
