// PNG files written with zlib for tests and benchmarks: RGBA pictures from a
// pixel function, and the pieces (signature and header, chunks) to build
// damaged or lying ones.
#pragma once

#include <zlib.h>
#include <cstdint>
#include <functional>
#include <string>

namespace test {

inline void PutBig32(std::string* s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s->push_back(static_cast<char>(v >> shift));
}

// A chunk: length, type, data, CRC.
inline std::string PngChunk(const char* type, const std::string& data) {
    std::string c;
    PutBig32(&c, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    c += body;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    PutBig32(&c, static_cast<uint32_t>(crc));
    return c;
}

// The signature and an IHDR of 8-bit RGBA, not interlaced.
inline std::string PngHeader(uint32_t w, uint32_t h) {
    std::string ihdr;
    PutBig32(&ihdr, w);
    PutBig32(&ihdr, h);
    ihdr += std::string("\x08\x06\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr);
}

inline std::string Deflate(const std::string& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 9);
    out.resize(size);
    return out;
}

// An RGBA PNG; `rgba(x, y)` gives 0xRRGGBBAA. `extra` chunks go before the data.
inline std::string Png(uint32_t w, uint32_t h, const std::function<uint32_t(uint32_t, uint32_t)>& rgba,
                       const std::string& extra = "") {
    std::string raw;
    raw.reserve(static_cast<size_t>(w * 4 + 1) * h);
    for (uint32_t y = 0; y < h; ++y) {
        raw.push_back(0);   // filter: none
        for (uint32_t x = 0; x < w; ++x) PutBig32(&raw, rgba(x, y));
    }
    return PngHeader(w, h) + extra + PngChunk("IDAT", Deflate(raw)) + PngChunk("IEND", "");
}

} // namespace test
