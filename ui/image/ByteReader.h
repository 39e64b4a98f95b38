// Bounds-checked little-endian reading of untrusted bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace picbox {

// Reads from a byte span. A read past the end fails, yields zeros and leaves the reader
// failed for good, so a caller can read a whole header and check Ok() once.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data, std::size_t offset = 0)
        : data_(data), pos_(offset), ok_(offset <= data.size())
    {
        if (!ok_)
            pos_ = data_.size();
    }

    bool Ok() const { return ok_; }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return data_.size() - pos_; }
    std::span<const std::uint8_t> Data() const { return data_; }

    std::uint8_t U8()
    {
        if (!Have(1))
            return 0;
        return data_[pos_++];
    }

    std::uint16_t U16Le()
    {
        if (!Have(2))
            return 0;
        const auto v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }

    std::uint32_t U32Le()
    {
        if (!Have(4))
            return 0;
        const std::uint32_t v = std::uint32_t{data_[pos_]} | (std::uint32_t{data_[pos_ + 1]} << 8) |
                                (std::uint32_t{data_[pos_ + 2]} << 16) |
                                (std::uint32_t{data_[pos_ + 3]} << 24);
        pos_ += 4;
        return v;
    }

    std::int32_t I32Le() { return static_cast<std::int32_t>(U32Le()); }

    // The next n bytes, or an empty span (and a failed reader) when fewer remain.
    std::span<const std::uint8_t> Bytes(std::size_t n)
    {
        if (!Have(n))
            return {};
        auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }

    void Skip(std::size_t n)
    {
        if (Have(n))
            pos_ += n;
    }

    // Moves to an absolute offset; an offset beyond the end fails the reader.
    void Seek(std::size_t offset)
    {
        if (offset > data_.size()) {
            Fail();
            return;
        }
        pos_ = offset;
    }

    void Fail()
    {
        ok_ = false;
        pos_ = data_.size();
    }

private:
    bool Have(std::size_t n)
    {
        if (ok_ && n <= data_.size() - pos_)
            return true;
        Fail();
        return false;
    }

    std::span<const std::uint8_t> data_;
    std::size_t pos_;
    bool ok_;
};

} // namespace picbox
