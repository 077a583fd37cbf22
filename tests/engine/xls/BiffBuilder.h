// Builds BIFF record byte strings for the reader tests, and a sink that records what a sheet reader streams.
#pragma once

#include "engine/model/Sheet.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace velquin::test {

using Bytes = std::vector<std::uint8_t>;

inline void putU16(Bytes& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void putU32(Bytes& b, std::uint32_t v)
{
    putU16(b, v & 0xFFFF);
    putU16(b, v >> 16);
}

/// A payload from a list of 16-bit values, the way most BIFF fields are laid out.
inline Bytes words(std::initializer_list<std::uint32_t> values)
{
    Bytes b;
    for (auto v : values)
        putU16(b, v);
    return b;
}

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const auto& p : parts)
        b.insert(b.end(), p.begin(), p.end());
    return b;
}

/// A BIFF8 string: 16-bit count, option byte 0, Latin-1 characters.
inline Bytes xlString(const std::string& text)
{
    Bytes b;
    putU16(b, static_cast<std::uint32_t>(text.size()));
    b.push_back(0);
    b.insert(b.end(), text.begin(), text.end());
    return b;
}

/// Appends one record (header and payload) to a stream.
inline void record(Bytes& stream, std::uint16_t sid, const Bytes& payload)
{
    putU16(stream, sid);
    putU16(stream, static_cast<std::uint32_t>(payload.size()));
    stream.insert(stream.end(), payload.begin(), payload.end());
}

/// BOF of a BIFF8 substream of the given type (0x0005 globals, 0x0010 worksheet, 0x0020 chart).
inline Bytes bof8(std::uint16_t type)
{
    return cat({words({0x0600, type, 0x0DBB, 0x07CC}), words({0, 0, 0x06, 0})});
}

/// Everything a sheet reader hands to its sink, flattened for assertions.
class BiffRecordingSink : public engine::model::SheetSink
{
public:
    struct CellCopy
    {
        std::uint32_t row = 0, col = 0;
        int style = -1;
        engine::model::CellType type = engine::model::CellType::Blank;
        double number = 0;
        bool boolean = false;
        std::string text, formula, arrayRange;
        std::vector<std::string> runs;
    };

    void beginSheet(const engine::model::SheetHeader& h) override { header = h; }
    void row(const engine::model::RowInfo& r) override { rows.push_back(r); }
    void cell(const engine::model::Cell& c) override
    {
        CellCopy copy{c.row,
                      c.col,
                      c.style,
                      c.type,
                      c.number,
                      c.boolean,
                      std::string(c.text),
                      std::string(c.formula),
                      std::string(c.arrayRange),
                      {}};
        for (const auto& run : c.runs)
            copy.runs.push_back(run.text);
        cells.push_back(std::move(copy));
    }
    void endSheet(const engine::model::SheetOptions& o) override
    {
        options = o;
        ended = true;
    }

    engine::model::SheetHeader header;
    std::vector<engine::model::RowInfo> rows;
    std::vector<CellCopy> cells;
    engine::model::SheetOptions options;
    bool ended = false;
};

} // namespace velquin::test
