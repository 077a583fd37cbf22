// Helpers shared by the fuzz targets: a scratch file for readers that take a path, a sink that checks what the
// readers promise the writer, a package builder for part-level targets and a minimal compound-file builder for BIFF
// streams.
#pragma once

#include "engine/model/WorkbookReader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velquin::fuzz {

/// A file of this process under $TMPDIR (or /tmp), rewritten for each input and removed at exit.
class ScratchFile
{
public:
    explicit ScratchFile(std::string_view suffix);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    /// Replaces the file's contents; false when the file cannot be written (the input is then skipped).
    bool write(std::string_view bytes) const;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

/// Aborts (so libFuzzer keeps the input) with a message when a reader breaks a promise the writer relies on.
[[noreturn]] void contractBroken(const char* what);

/// Streams every worksheet of `reader` into a sink that reads every value it is given (so the sanitizers see
/// views into freed buffers) and checks cell order, positions and UTF-8.
void readAllSheets(engine::model::WorkbookReader& reader);

/// Checks the workbook-wide data the same way (UTF-8 names, style indices in range).
void checkInfo(const engine::model::WorkbookInfo& info);

/// Opens `path` with engine::openWorkbook, streams every sheet through the checking sink, then saves the workbook
/// with engine::saveAsSpreadsheetMl into a scratch file: on success it must be well-formed XML, on failure no file
/// (and no temporary file) may be left.
void openCheckAndSave(const std::string& path);

/// Streams every sheet of `reader` through the checking sink and saves it beside `path` (a scratch file of the
/// target), with the same checks as openCheckAndSave.
void checkAndSave(engine::model::WorkbookReader& reader, const std::string& path);

/// Writes a fresh zip package at `path` from `input`, a list of parts "name\ncontent" separated by "\n@@\n",
/// stored uncompressed so that mutations reach the parts. False when there is no part or nothing could be written.
bool writePartsPackage(const std::string& path, std::string_view input);

/// A compound file holding one stream named `streamName` (e.g. "Workbook", "Book") with `stream` as its bytes.
std::string makeCompoundFile(std::string_view streamName, std::string_view stream);

} // namespace velquin::fuzz
