// The workbook globals substream: everything read before the first sheet.
#pragma once

#include "engine/Error.h"
#include "engine/model/Workbook.h"
#include "engine/xls/BiffStrings.h"
#include "engine/xls/RecordStream.h"
#include "engine/xls/SharedStringTable.h"
#include "engine/xls/XlsStyles.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velquin::engine::xls {

struct SheetRecord
{
    std::string name;
    std::uint32_t offset = 0; ///< stream position of the sheet's BOF
    model::SheetKind kind = model::SheetKind::Worksheet;
    model::Visibility visibility = model::Visibility::Visible;
};

struct NameRecord
{
    std::string name;
    int builtin = -1; ///< built-in name code, -1 for user names
    int sheet = -1;   ///< 0-based sheet for a local name
    bool hidden = false;
    bool function = false;      ///< a macro or add-in function name, never written
    std::string biff5SheetName; ///< BIFF5: the sheet a local name belongs to, by its EXTERNSHEET entry
    std::vector<std::uint8_t> rgce, rgcb;
};

struct SupBook
{
    enum class Kind
    {
        Self,
        AddIn,
        External,
        Dde, ///< a DDE link: path is "server|topic", the external names are its items
        Other
    } kind = Kind::Other;
    std::string path; ///< the encoded path of an external workbook, with its control characters
    std::vector<std::string> sheets;
    std::vector<std::string> externNames;
};

struct XtiRecord
{
    std::uint16_t supBook = 0;
    std::int16_t firstSheet = 0, lastSheet = 0;
};

/// Limits that keep hostile files from taking the machine.
inline constexpr std::size_t kMaxJoinedRecord = 256u * 1024 * 1024; ///< SST with CONTINUEs, and similar
inline constexpr std::size_t kMaxTableEntries = 1u << 20;           ///< fonts, XFs, formats, names, sheets

struct XlsGlobals
{
    int biffVersion = 8;
    int codepage = 1252;
    bool date1904 = false;
    StyleTables styles;
    std::vector<SheetRecord> sheets;
    std::vector<NameRecord> names;
    std::vector<SupBook> supBooks;
    std::vector<XtiRecord> xti;
    std::vector<std::string> biff5ExternSheets; ///< BIFF5 EXTERNSHEET entries, decoded
    SharedStringTable sst;
    std::vector<std::uint8_t> filePass; ///< the FILEPASS payload of an encrypted workbook
    std::uint64_t filePassEnd = 0;      ///< stream position after FILEPASS: the records from here are encrypted
    /// BIFF2: the formatting bytes of cells and rows -> the XF made for them.
    std::map<std::uint32_t, std::uint16_t> biff2CellFormats;
    /// An Excel 4.0 workbook: `sheets` lists the sheets bundled after the globals, each of which carries its own
    /// formatting tables and names.
    bool bundle = false;
    /// BIFF2-4 have no WINDOW2 flag for the selected, active sheet: the sheet that is shown as such.
    bool oldSheetSelected = true;
    model::WorkbookInfo info; ///< window, protection and sheet list filled while parsing
};

/// The BOF record's version and substream type. `biffVersion` is 5 or 8, or 2..4 for older files.
struct BofInfo
{
    int biffVersion = 0;
    std::uint16_t type = 0;
};
Status parseBof(const Record& record, BofInfo& bof);

/// Reads the globals substream from the stream's position up to its EOF. A FILEPASS record stops it with
/// EncryptedWorkbook and leaves the record in `globals.filePass`, unless the stream is already decrypting. In an
/// Excel 4.0 workbook the sheets bundled after the globals are listed and passed over.
/// Errors: UnsupportedFormat (BIFF2-4 charts and macro sheets), EncryptedWorkbook (FILEPASS), DamagedFile,
/// LimitExceeded.
Status parseGlobals(RecordStream& stream, XlsGlobals& globals, CodepageDecoder& decoder);

/// The name of a built-in defined name by its code ("Print_Area" for 6), nothing for an unknown code.
const char* builtinNameText(int code);

/// A user-defined name as Excel reads it from a .xls file: one that is a cell of the 1,048,576 x 16,384 grid
/// though not of BIFF's 65,536 x 256 ("AB100000", "ABC1") gets a leading "_", so the name and its uses stay names.
std::string nameForLargeGrid(std::string name);

/// A sheet name as formula text needs it: quoted when it is not a plain identifier.
std::string quoteSheetName(const std::string& name);

} // namespace velquin::engine::xls
