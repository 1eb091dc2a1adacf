#pragma once
#include <cstddef>
#include <cstdint>

// The stored formats are records of fixed-width little-endian fields laid one after another.
// Each format describes its record once, field by field, each field placed after the one
// before it, so an offset is never written out beside its width; readers and writers both
// take the offsets from that one description.

/// One field of a fixed-layout record: where it starts and how many bytes it takes.
struct RecordField {
    size_t At = 0;
    size_t Width = 0;
    /// The offset just past the field, where the next one starts.
    constexpr size_t End() const { return At + Width; }
};

/// The first field of a record, `width` bytes.
constexpr RecordField FirstField(size_t width)
{
    return {0, width};
}

/// The field of `width` bytes right after `previous`.
constexpr RecordField FieldAfter(RecordField previous, size_t width)
{
    return {previous.End(), width};
}

/// The little-endian 16-bit value at `p`.
inline uint16_t GetLE16(const unsigned char* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

/// The little-endian 32-bit value at `p`.
inline uint32_t GetLE32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

/// Stores `v` little-endian at `p`.
inline void PutLE16(unsigned char* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

/// Stores `v` little-endian at `p`.
inline void PutLE32(unsigned char* p, uint32_t v)
{
    for (int k = 0; k < 4; k++)
        p[k] = uint8_t(v >> (8 * k));
}
