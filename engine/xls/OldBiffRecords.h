// Excel 2.x, 3.x and 4.x worksheets: a bare record stream with no compound file around it. Their formatting and
// name records are read into the workbook globals here, and their cell, row and column records are rewritten
// into the Excel 5.0 layout that the sheet reader knows.
#pragma once

#include "engine/Error.h"
#include "engine/xls/ByteSource.h"
#include "engine/xls/RecordStream.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velquin::engine::xls {

struct XlsGlobals;
class StringReader;

/// BOF substream type of a worksheet in every BIFF version.
inline constexpr std::uint16_t kBofWorksheet = 0x0010;
/// BOF substream type of the globals of an Excel 4.0 workbook.
inline constexpr std::uint16_t kBofWorkbook4 = 0x0100;
/// SHEETHEADER: in an Excel 4.0 workbook, the record before each sheet substream.
inline constexpr std::uint16_t kSheetHeader = 0x008F;
/// Sheets an Excel 4.0 workbook may bundle; each one's formatting tables are kept while the workbook is open.
inline constexpr std::size_t kMaxBundledSheets = 4096;

/// Reads the bytes of a file as they are needed, without loading the file.
class FileSource : public ByteSource
{
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    /// Errors: FileNotFound, FileUnreadable.
    Status open(const std::string& path);
    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

/// Prepares the globals of a BIFF2-4 worksheet of the given version: its one sheet, and for BIFF2 the Normal
/// style that its cells' formats build on.
void startOldGlobals(XlsGlobals& g, int version);

/// Prepares the globals of an Excel 4.0 workbook, whose sheets are found as its globals are read.
void startOldBundle(XlsGlobals& g);

/// Reads SHEETHEADER `r` of an Excel 4.0 workbook and passes over the sheet substream that follows it in
/// `stream`, adding the sheet to `g.sheets`. Errors: DamagedFile, LimitExceeded, Timeout.
Status readBundledSheet(const Record& r, RecordStream& stream, XlsGlobals& g, StringReader& strings);

/// Reads one record of a BIFF2-4 stream that belongs to the globals (fonts, formats, XFs, names, the window) and
/// notes the formats of BIFF2 cells. Nothing when the record is not one of these and the caller goes on with
/// it; otherwise the outcome. Errors: LimitExceeded.
std::optional<Status> readOldGlobalsRecord(const Record& r, XlsGlobals& g, StringReader& strings);

/// Rewrites the records of a BIFF2-4 worksheet that differ from BIFF5 into the BIFF5 layout, so that one sheet
/// reader serves every version. Records of BIFF5 and later pass through unchanged.
class OldRecordTranslator
{
public:
    explicit OldRecordTranslator(const XlsGlobals& g);

    bool active() const { return m_version < 5; }
    /// The record number a record with number `sid` will have once translated.
    std::uint16_t translatedSid(std::uint16_t sid) const;
    /// Translates `r` in place; a record too short for its own layout keeps its number and is left to the
    /// reader's own checks.
    void translate(Record& r) const;

private:
    std::uint16_t cellXf(std::uint8_t a0, std::uint8_t a1, std::uint8_t a2) const;

    const XlsGlobals& m_g;
    int m_version;
};

} // namespace velquin::engine::xls
