// Walks the records of a BIFF stream: a 4-byte header (record number, length) and the payload.
#pragma once

#include "engine/Error.h"
#include "engine/xls/ByteSource.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velquin::engine::xls {

namespace sid {
inline constexpr std::uint16_t Formula = 0x0006;
inline constexpr std::uint16_t Eof = 0x000A;
inline constexpr std::uint16_t CalcCount = 0x000C;
inline constexpr std::uint16_t Protect = 0x0012;
inline constexpr std::uint16_t Name = 0x0018;
inline constexpr std::uint16_t Note = 0x001C;
inline constexpr std::uint16_t Selection = 0x001D;
inline constexpr std::uint16_t Format = 0x041E;
inline constexpr std::uint16_t Format4 = 0x001E;
inline constexpr std::uint16_t DateMode = 0x0022;
inline constexpr std::uint16_t ExternName = 0x0023;
inline constexpr std::uint16_t FilePass = 0x002F;
inline constexpr std::uint16_t Font = 0x0031;
inline constexpr std::uint16_t Continue = 0x003C;
inline constexpr std::uint16_t Window1 = 0x003D;
inline constexpr std::uint16_t Pane = 0x0041;
inline constexpr std::uint16_t CodePage = 0x0042;
inline constexpr std::uint16_t DefColWidth = 0x0055;
inline constexpr std::uint16_t ExternSheet = 0x0017;
inline constexpr std::uint16_t ObjProtect = 0x0063;
inline constexpr std::uint16_t ColInfo = 0x007D;
inline constexpr std::uint16_t WsBool = 0x0081;
inline constexpr std::uint16_t BoundSheet = 0x0085;
inline constexpr std::uint16_t Palette = 0x0092;
inline constexpr std::uint16_t AutoFilterInfo = 0x009D;
inline constexpr std::uint16_t Scl = 0x00A0;
inline constexpr std::uint16_t StandardWidth = 0x0099;
inline constexpr std::uint16_t ScenProtect = 0x00DD;
inline constexpr std::uint16_t MulRk = 0x00BD;
inline constexpr std::uint16_t MulBlank = 0x00BE;
inline constexpr std::uint16_t RString = 0x00D6;
inline constexpr std::uint16_t DbCell = 0x00D7;
inline constexpr std::uint16_t Xf = 0x00E0;
inline constexpr std::uint16_t MergeCells = 0x00E5;
inline constexpr std::uint16_t Sst = 0x00FC;
inline constexpr std::uint16_t LabelSst = 0x00FD;
inline constexpr std::uint16_t SupBook = 0x01AE;
inline constexpr std::uint16_t CondFmt = 0x01B0;
inline constexpr std::uint16_t Cf = 0x01B1;
inline constexpr std::uint16_t DVal = 0x01B2;
inline constexpr std::uint16_t Obj = 0x005D;
inline constexpr std::uint16_t Txo = 0x01B6;
inline constexpr std::uint16_t HLink = 0x01B8;
inline constexpr std::uint16_t Dv = 0x01BE;
inline constexpr std::uint16_t Dimensions = 0x0200;
inline constexpr std::uint16_t Blank = 0x0201;
inline constexpr std::uint16_t Number = 0x0203;
inline constexpr std::uint16_t Label = 0x0204;
inline constexpr std::uint16_t BoolErr = 0x0205;
inline constexpr std::uint16_t Formula4 = 0x0406;
inline constexpr std::uint16_t String = 0x0207;
inline constexpr std::uint16_t Row = 0x0208;
inline constexpr std::uint16_t Array = 0x0221;
inline constexpr std::uint16_t DefaultRowHeight = 0x0225;
inline constexpr std::uint16_t Table = 0x0236;
inline constexpr std::uint16_t Window2 = 0x023E;
inline constexpr std::uint16_t Rk = 0x027E;
inline constexpr std::uint16_t Style = 0x0293;
inline constexpr std::uint16_t ShrFmla = 0x04BC;
inline constexpr std::uint16_t HLinkTooltip = 0x0800;
inline constexpr std::uint16_t SheetExt = 0x0862;
inline constexpr std::uint16_t CondFmt12 = 0x0879;
inline constexpr std::uint16_t CfEx = 0x087B;
inline constexpr std::uint16_t Bof = 0x0809;
inline constexpr std::uint16_t Bof2 = 0x0009;
inline constexpr std::uint16_t Bof3 = 0x0209;
inline constexpr std::uint16_t Bof4 = 0x0409;
} // namespace sid

/// One record. `data` holds the payload; when CONTINUE records were joined to it, `continueStarts` lists where
/// each joined payload begins inside `data`.
struct Record
{
    std::uint16_t sid = 0;
    std::uint64_t offset = 0; ///< of the record header in the stream
    std::vector<std::uint8_t> data;
    std::vector<std::size_t> continueStarts;

    std::span<const std::uint8_t> bytes() const { return data; }
};

/// Turns the encrypted payloads of an encrypted workbook stream back into plain bytes (headers are never encrypted).
class RecordDecryptor
{
public:
    virtual ~RecordDecryptor() = default;
    /// Decrypts in place `payload`, the data of a record of type `sid` that begins at `offset` in the stream.
    virtual void decrypt(std::uint16_t sid, std::uint64_t offset, std::span<std::uint8_t> payload) = 0;
};

/// Reads records one after another through a read-ahead window, so walking a sheet costs one copy per byte.
class RecordStream
{
public:
    explicit RecordStream(ByteSource& source);

    /// Decrypts the payload of every record whose header lies at `from` or later; nullptr stops decrypting.
    void setDecryptor(RecordDecryptor* decryptor, std::uint64_t from)
    {
        m_decryptor = decryptor;
        m_decryptFrom = from;
    }
    bool decrypting() const { return m_decryptor != nullptr; }

    std::uint64_t size() const { return m_size; }
    std::uint64_t position() const { return m_pos; }
    void seek(std::uint64_t offset) { m_pos = offset; }
    bool atEnd() const { return m_pos >= m_size; }

    /// Reads the next record. A header past the end or a payload longer than what remains gives DamagedFile.
    Status next(Record& record);
    /// Reads only the header of the next record and moves past its payload without copying it.
    Status skipNext(std::uint16_t& sidOut, std::uint64_t& offsetOut);
    /// The record number of the next record without consuming it; 0 at the end.
    std::uint16_t peekSid();
    /// Appends the payloads of the CONTINUE records that follow to `record`, up to `maxBytes` in all.
    Status joinContinues(Record& record, std::size_t maxBytes);

private:
    bool fill(std::uint64_t offset, std::size_t n);
    Status readHeader(std::uint16_t& sidOut, std::uint16_t& length);

    ByteSource& m_source;
    std::uint64_t m_size;
    std::uint64_t m_pos = 0;
    std::vector<std::uint8_t> m_window;
    std::uint64_t m_windowStart = 0;
    std::size_t m_windowLength = 0;
    RecordDecryptor* m_decryptor = nullptr;
    std::uint64_t m_decryptFrom = 0;
};

/// "record 0x0208 at offset 1234 is truncated" and similar detail for DamagedFile errors.
Status damagedRecord(std::uint16_t sidValue, std::uint64_t offset, const std::string& what);

} // namespace velquin::engine::xls
