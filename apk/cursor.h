// A bounded reader over little-endian bytes from someone else's phone: every
// read checks what is left, and the first failure sticks, so a parser can
// read a whole header and test `ok()` once. Nothing here allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace apk {

class Cursor {
public:
    Cursor() = default;
    Cursor(const void* data, size_t size) : p_(static_cast<const uint8_t*>(data)), end_(size) {}
    explicit Cursor(const std::string& bytes) : Cursor(bytes.data(), bytes.size()) {}

    bool ok() const { return !failed_; }
    size_t pos() const { return pos_; }
    size_t size() const { return end_; }
    size_t left() const { return failed_ ? 0 : end_ - pos_; }
    const uint8_t* here() const { return p_ + pos_; }

    // Marks the cursor failed; every later read returns 0.
    void Fail() { failed_ = true; }

    // Moves to an absolute position; beyond the end fails.
    void Seek(size_t pos) {
        if (failed_ || pos > end_) Fail();
        else pos_ = pos;
    }
    void Skip(size_t n) {
        if (n > left()) Fail();
        else pos_ += n;
    }

    uint8_t U8() { return static_cast<uint8_t>(Take(1)); }
    uint16_t U16() { return static_cast<uint16_t>(Take(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Take(4)); }
    uint64_t U64() {
        uint64_t lo = U32();
        return lo | (static_cast<uint64_t>(U32()) << 32);
    }

    // A cursor over the next `n` bytes (positions restart at 0); this one
    // moves past them. Too few bytes left: both fail.
    Cursor Sub(size_t n) {
        if (n > left()) {
            Fail();
            Cursor dead;
            dead.Fail();
            return dead;
        }
        Cursor sub(p_ + pos_, n);
        pos_ += n;
        return sub;
    }

    // A cursor over [from, from + n) of this one's bytes, whatever the position.
    Cursor Range(size_t from, size_t n) const {
        Cursor c;
        if (failed_ || from > end_ || n > end_ - from) {
            c.Fail();
            return c;
        }
        return Cursor(p_ + from, n);
    }

private:
    uint32_t Take(size_t n) {
        if (failed_ || n > end_ - pos_) {
            failed_ = true;
            return 0;
        }
        uint32_t v = 0;
        for (size_t i = 0; i < n; i++) v |= static_cast<uint32_t>(p_[pos_ + i]) << (8 * i);
        pos_ += n;
        return v;
    }

    const uint8_t* p_ = nullptr;
    size_t end_ = 0;
    size_t pos_ = 0;
    bool failed_ = false;
};

} // namespace apk
