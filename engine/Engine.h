// The engine's two entry points: open a workbook of any supported format, save it as SpreadsheetML 2003.
#pragma once

#include "engine/Error.h"
#include "engine/crypto/PasswordTrial.h"
#include "engine/model/WorkbookReader.h"

#include <chrono>
#include <memory>
#include <string>

namespace velquin::engine {

/// Opens the workbook at `path`, choosing the reader from the file's first bytes (an OLE2 compound file is read
/// as .xls, or as an encrypted .xlsx/.xlsm package when it holds one; a ZIP package as .xlsx/.xlsm, or as .xlsb
/// when its workbook part is binary; text as an XML Spreadsheet, a web page or delimited text), never from its name. An encrypted workbook is tried with the built-in default
/// password first, then with each password `prompt` gives until one fits or it gives none.
/// Errors: FileNotFound, FileUnreadable, NotAWorkbook, UnsupportedFormat, EncryptedWorkbook (no password fits:
/// the detail says whether none was given or the ones given did not fit), DamagedFile, LimitExceeded, OutOfMemory,
/// and Timeout once `deadline` has passed.
Status openWorkbook(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader,
                    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max(),
                    const PasswordPrompt& prompt = {});

/// How the output reaches the disk.
enum class Durability
{
    Synced,  ///< flushed to the disk before the rename: a power cut leaves the old file or the complete new one
    Buffered ///< left to the system's cache: still complete or absent after any failure of the conversion itself
};

/// Writes every worksheet of `reader` as SpreadsheetML 2003 to `target`. The file is written under a hidden
/// temporary name in the target's folder, flushed to the disk (unless `durability` is Buffered) and then renamed
/// over `target`, so an existing file is replaced only by a complete one; on any failure the temporary file is
/// removed and `target` is untouched. The conversion stops with Timeout once `deadline` has passed.
/// Errors: OutputNotWritable, DiskFull, Timeout, OutOfMemory and the reader's errors (DamagedFile, LimitExceeded).
Status
saveAsSpreadsheetMl(model::WorkbookReader& reader, const std::string& target,
                    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max(),
                    Durability durability = Durability::Synced);

} // namespace velquin::engine
