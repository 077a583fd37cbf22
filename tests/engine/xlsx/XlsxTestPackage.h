// Builds small .xlsx packages for tests from inline XML parts, and records what a reader streams.
#pragma once

#include "engine/model/Sheet.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velquin::test {

/// A package made of named parts; the usual plumbing parts are added unless a test replaces them.
class XlsxTestPackage
{
public:
    XlsxTestPackage();
    /// Sets (or replaces) a part.
    XlsxTestPackage& part(std::string name, std::string content);
    /// Sets the first worksheet's <sheetData> content (and optional extra XML after it).
    XlsxTestPackage& sheetData(std::string_view rows, std::string_view after = {});
    /// Deflate level of the parts (1, the fastest, unless set).
    XlsxTestPackage& compression(int level)
    {
        m_level = level;
        return *this;
    }
    /// Stores the entry names with backslashes for separators, as some writers do.
    XlsxTestPackage& backslashNames()
    {
        m_backslashes = true;
        return *this;
    }
    /// Writes the zip to `path`; false on failure.
    bool save(const std::string& path) const;

    static std::string sheet(std::string_view rows, std::string_view after = {});

private:
    std::map<std::string, std::string> m_parts;
    int m_level = 1;
    bool m_backslashes = false;
};

/// A sheet sink that keeps what it receives as text lines, one per row or cell, for exact comparisons.
class RecordingSink : public engine::model::SheetSink
{
public:
    void beginSheet(const engine::model::SheetHeader& header) override;
    void row(const engine::model::RowInfo& row) override;
    void cell(const engine::model::Cell& cell) override;
    void endSheet(const engine::model::SheetOptions& options) override;

    engine::model::SheetHeader header;
    engine::model::SheetOptions options;
    std::vector<std::string> lines; ///< "row 1" / "A1 n 42 =R[1]C" ...
    bool ended = false;
};

} // namespace velquin::test
