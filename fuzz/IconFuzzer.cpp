// libFuzzer target: the choice of an ICO or CUR entry from arbitrary bytes.
#include "ui/image/IconDirectory.h"
#include "ui/image/Picture.h"

#include <cstddef>
#include <cstdint>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<picbox::IconChoice> choice = picbox::ChooseIconEntry({data, size});
    if (!choice)
        return 0;
    // The image handed to the system lies inside the data, and its size is usable.
    const std::uint8_t* begin = choice->image.data();
    if (begin < data || begin + choice->image.size() > data + size || choice->width <= 0 ||
        choice->height <= 0 ||
        !picbox::PictureSizeAllowed(static_cast<std::uint32_t>(choice->width),
                                    static_cast<std::uint32_t>(choice->height)) ||
        choice->index >= (std::size_t{data[4]} | std::size_t{data[5]} << 8))
        __builtin_trap();
    return 0;
}
