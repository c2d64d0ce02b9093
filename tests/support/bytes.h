// Little-endian byte fixtures, written field by field with a comment each:
//   Bytes().u16(0x4D42) /* bfType "BM" */ .u32(58) /* bfSize */ ...
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace testing_support {

class Bytes {
public:
    Bytes &u8(std::uint8_t v) { return raw({v}); }
    Bytes &u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
    Bytes &u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes &i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    Bytes &raw(std::initializer_list<std::uint8_t> bytes) { return append(bytes); }
    Bytes &fill(std::size_t count, std::uint8_t value) { return append(std::vector<std::uint8_t>(count, value)); }
    Bytes &append(const std::vector<std::uint8_t> &b) {
        data_.insert(data_.end(), b.begin(), b.end());
        return *this;
    }
    const std::vector<std::uint8_t> &data() const { return data_; }
    operator const std::vector<std::uint8_t> &() const { return data_; }
    std::size_t size() const { return data_.size(); }

private:
    std::vector<std::uint8_t> data_;
};

} // namespace testing_support
