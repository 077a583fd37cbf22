// Reader for Excel 97-2003 (BIFF8) and Excel 5.0/95 (BIFF5) workbooks.
#include "engine/xls/XlsReader.h"

#include "engine/xls/BiffDecryption.h"
#include "engine/xls/OldBiffRecords.h"
#include "engine/xls/OleContainer.h"
#include "engine/xls/PropertySetReader.h"
#include "engine/xls/XlsFormulaContext.h"
#include "engine/xls/XlsGlobals.h"
#include "engine/xls/XlsSheetReader.h"

#include <algorithm>
#include <filesystem>
#include <new>

namespace velquin::engine::xls {

namespace {

/// Property-set streams are small; anything larger is not believed.
constexpr std::size_t kMaxPropertyStream = 16u * 1024 * 1024;
constexpr std::uint16_t kWsBool = 0x0081;

class XlsWorkbookReader : public model::WorkbookReader
{
public:
    XlsWorkbookReader() : m_container(std::make_unique<OleContainer>()) {}
    explicit XlsWorkbookReader(std::unique_ptr<OleContainer> container) : m_container(std::move(container)) {}
    /// Reads the compound file given to the constructor, asking `prompt` for the password of an encrypted one.
    Status open(const PasswordPrompt& prompt);
    Status openBare(const std::string& path);
    const model::WorkbookInfo& info() const override { return m_globals.info; }
    Status readSheet(int index, model::SheetSink& sink) override;

private:
    Status openStream();
    Status parseEncryptedGlobals(const PasswordPrompt& prompt);
    Status readBundledTables();
    void classifySheets();
    void fillInfo();
    void fillBundledStyles();
    void fillNames();
    void addNames(const XlsGlobals& g, int sheet);
    void readProperties();

    std::unique_ptr<OleContainer> m_container;
    std::unique_ptr<ByteSource> m_source;
    std::unique_ptr<RecordDecryptor> m_decryptor;
    CryptoApiKeys m_cryptoApiKeys; ///< set when the workbook is encrypted with RC4 over CryptoAPI
    std::unique_ptr<RecordStream> m_stream;
    CodepageDecoder m_decoder;
    XlsGlobals m_globals;
    /// Excel 4.0 workbooks: the formatting tables and names of each bundled worksheet (null for other sheets), and
    /// where its XFs start among the workbook's cell styles.
    std::vector<std::unique_ptr<XlsGlobals>> m_bundled;
    std::vector<std::size_t> m_styleBase;
};

Status XlsWorkbookReader::open(const PasswordPrompt& prompt)
{
    if (Status st = openStream(); !st)
        return st;
    Status parsed = parseGlobals(*m_stream, m_globals, m_decoder);
    if (!parsed && parsed.code() == EngineErrc::EncryptedWorkbook && !m_globals.filePass.empty())
        parsed = parseEncryptedGlobals(prompt);
    if (!parsed)
        return parsed;
    classifySheets();
    fillInfo();
    fillNames();
    readProperties();
    return {};
}

/// A workbook encrypted with RC4 over CryptoAPI may keep its property sets in the encrypted summary, leaving an
/// empty placeholder in the clear; each set is read from there when it is found there.
void XlsWorkbookReader::readProperties()
{
    EncryptedSummary encrypted;
    if (m_cryptoApiKeys && m_container->hasStream(kEncryptedSummaryStream))
        encrypted =
            readEncryptedSummary(m_container->readAll(kEncryptedSummaryStream, kMaxPropertyStream), m_cryptoApiKeys);
    model::DocumentProperties& props = m_globals.info.properties;
    if (encrypted.summaryInformation.empty())
        encrypted.summaryInformation = m_container->readAll("\005SummaryInformation", kMaxPropertyStream);
    readSummaryInformation(encrypted.summaryInformation, props);
    if (encrypted.documentSummaryInformation.empty())
        encrypted.documentSummaryInformation =
            m_container->readAll("\005DocumentSummaryInformation", kMaxPropertyStream);
    readDocumentSummaryInformation(encrypted.documentSummaryInformation, props);
}

/// An Excel 2.x-4.x worksheet is a record stream with no compound file; Excel names its one sheet after the file.
Status XlsWorkbookReader::openBare(const std::string& path)
{
    auto file = std::make_unique<FileSource>();
    if (Status st = file->open(path); !st)
        return st;
    m_source = std::move(file);
    m_stream = std::make_unique<RecordStream>(*m_source);
    if (Status st = parseGlobals(*m_stream, m_globals, m_decoder); !st)
        return st;
    if (m_globals.bundle)
    {
        if (Status st = readBundledTables(); !st)
            return st;
    }
    else if (m_globals.sheets.size() == 1)
        m_globals.sheets[0].name = std::filesystem::path(path).stem().string();
    fillInfo();
    fillNames();
    return {};
}

Status XlsWorkbookReader::openStream()
{
    std::string name = "Workbook";
    if (!m_container->hasStream(name))
        name = "Book";
    // Checked before the property sets, so that a property set sharing the workbook's sectors is the one dropped.
    if (Status st = m_container->checkSectors(name); !st)
        return st;
    std::unique_ptr<OleStream> stream;
    if (Status st = m_container->openStream(name, stream); !st)
        return st;
    if (!stream)
    {
        if (m_container->hasStream("WordDocument") || m_container->hasStream("PowerPoint Document"))
            return {EngineErrc::NotAWorkbook, "The compound file is not a workbook."};
        return {EngineErrc::NotAWorkbook, "The compound file holds no workbook stream."};
    }
    m_source = std::move(stream);
    m_stream = std::make_unique<RecordStream>(*m_source);
    return {};
}

/// The globals stopped at FILEPASS: find the password, then read them again from the start, decrypting every record
/// after FILEPASS (the records before it are plain).
Status XlsWorkbookReader::parseEncryptedGlobals(const PasswordPrompt& prompt)
{
    const std::vector<std::uint8_t> filePass = std::move(m_globals.filePass);
    const std::uint64_t encryptedFrom = m_globals.filePassEnd;
    const bool biff8 = m_globals.biffVersion == 8;
    if (Status st = openFilePass(filePass, biff8, prompt, m_decryptor, &m_cryptoApiKeys); !st)
        return st;
    m_globals = XlsGlobals{};
    m_decoder.setCodepage(1252);
    m_stream->seek(0);
    m_stream->setDecryptor(m_decryptor.get(), encryptedFrom);
    return parseGlobals(*m_stream, m_globals, m_decoder);
}

/// Each worksheet of an Excel 4.0 workbook carries its own fonts, formats, XFs, palette and names: they are read
/// from the sheet's substream as the globals of a single worksheet are. The first worksheet is the active one.
Status XlsWorkbookReader::readBundledTables()
{
    m_bundled.resize(m_globals.sheets.size());
    for (std::size_t i = 0; i < m_globals.sheets.size(); ++i)
    {
        const SheetRecord& sheet = m_globals.sheets[i];
        if (sheet.kind != model::SheetKind::Worksheet)
            continue;
        auto tables = std::make_unique<XlsGlobals>();
        tables->codepage = m_globals.codepage;
        m_decoder.setCodepage(m_globals.codepage);
        m_stream->seek(sheet.offset);
        if (Status st = parseGlobals(*m_stream, *tables, m_decoder); !st)
            return {st.code(), "Sheet \"" + sheet.name + "\": " + st.description()};
        tables->sheets.assign(1, sheet);
        tables->date1904 = m_globals.date1904;
        tables->oldSheetSelected =
            std::none_of(m_bundled.begin(), m_bundled.end(), [](const auto& t) { return t != nullptr; });
        if (tables->oldSheetSelected)
            m_globals.info.activeSheet = static_cast<int>(i);
        m_bundled[i] = std::move(tables);
    }
    return {};
}

/// BOUNDSHEET says "worksheet" for dialog sheets too; the sheet's own BOF and WSBOOL tell them apart.
void XlsWorkbookReader::classifySheets()
{
    for (auto& sheet : m_globals.sheets)
    {
        if (sheet.kind != model::SheetKind::Worksheet)
            continue;
        m_stream->seek(sheet.offset);
        Record r;
        BofInfo bof;
        if (!m_stream->next(r) || !parseBof(r, bof))
            continue;
        if (bof.type == 0x0020)
        {
            sheet.kind = model::SheetKind::Chart;
            continue;
        }
        if (bof.type == 0x0040 || bof.type == 0x0006)
        {
            sheet.kind = model::SheetKind::Macro;
            continue;
        }
        // WSBOOL comes among the first few records, before any cell.
        for (int i = 0; i < 64 && !m_stream->atEnd(); ++i)
        {
            std::uint16_t s = m_stream->peekSid();
            if (s == kWsBool)
            {
                if (m_stream->next(r) && r.data.size() >= 2 && (r.data[0] & 0x10))
                    sheet.kind = model::SheetKind::Dialog;
                break;
            }
            std::uint16_t skipped = 0;
            std::uint64_t offset = 0;
            if (s == sid::Eof || s == sid::Row || !m_stream->skipNext(skipped, offset))
                break;
        }
    }
}

void XlsWorkbookReader::fillInfo()
{
    auto& info = m_globals.info;
    info.date1904 = m_globals.date1904;
    info.sheets.clear();
    for (const auto& s : m_globals.sheets)
        info.sheets.push_back({s.name, s.kind, s.visibility});
    if (info.activeSheet < 0 || static_cast<std::size_t>(info.activeSheet) >= info.sheets.size())
        info.activeSheet = 0;
    if (info.firstVisibleSheet < 0 || static_cast<std::size_t>(info.firstVisibleSheet) >= info.sheets.size())
        info.firstVisibleSheet = 0;
    if (m_globals.bundle)
        fillBundledStyles();
    else
        buildStyles(m_globals.styles, info.cellStyles, info.namedStyles);
}

/// The XFs of each bundled worksheet become cell styles of their own, one block per sheet, so that equal XF
/// numbers in two sheets never share a style. Named styles are shared by name, the first sheet's definition
/// winning.
void XlsWorkbookReader::fillBundledStyles()
{
    auto& info = m_globals.info;
    info.cellStyles.clear();
    info.namedStyles.clear();
    m_styleBase.assign(m_bundled.size(), 0);
    for (std::size_t i = 0; i < m_bundled.size(); ++i)
    {
        if (!m_bundled[i])
            continue;
        std::vector<model::CellStyle> cells;
        std::vector<model::NamedStyle> named;
        buildStyles(m_bundled[i]->styles, cells, named);
        std::vector<int> shared(named.size());
        for (std::size_t k = 0; k < named.size(); ++k)
        {
            auto same = std::find_if(info.namedStyles.begin(), info.namedStyles.end(),
                                     [&](const model::NamedStyle& n) { return n.name == named[k].name; });
            shared[k] = static_cast<int>(same - info.namedStyles.begin());
            if (same == info.namedStyles.end())
                info.namedStyles.push_back(std::move(named[k]));
        }
        for (auto& cell : cells)
            if (cell.parentStyle >= 0 && static_cast<std::size_t>(cell.parentStyle) < shared.size())
                cell.parentStyle = shared[static_cast<std::size_t>(cell.parentStyle)];
        m_styleBase[i] = info.cellStyles.size();
        info.cellStyles.insert(info.cellStyles.end(), cells.begin(), cells.end());
    }
    if (info.namedStyles.empty())
        buildStyles(m_globals.styles, info.cellStyles, info.namedStyles);
}

void XlsWorkbookReader::fillNames()
{
    addNames(m_globals, -1);
    // The names of a bundled sheet are its own.
    for (std::size_t i = 0; i < m_bundled.size(); ++i)
        if (m_bundled[i])
            addNames(*m_bundled[i], static_cast<int>(i));
}

/// Adds the names of `g` to the workbook's, as local names of `sheet` or, for -1, as each name says.
void XlsWorkbookReader::addNames(const XlsGlobals& g, int sheet)
{
    formula::FormulaContext ctx = makeFormulaContext(g);
    for (const auto& name : g.names)
    {
        if (name.function || name.name.empty() || name.rgce.empty())
            continue;
        if (name.sheet >= static_cast<int>(g.sheets.size()))
            continue;
        auto result = formula::decompile(name.rgce, name.rgcb, ctx);
        if (!result.status || result.text.empty())
            continue;
        model::DefinedName out;
        out.name = name.name;
        out.refersTo = std::move(result.text);
        out.sheet = sheet >= 0 ? sheet : name.sheet;
        out.hidden = name.hidden;
        m_globals.info.names.push_back(std::move(out));
    }
}

Status XlsWorkbookReader::readSheet(int index, model::SheetSink& sink)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_globals.sheets.size())
        return {EngineErrc::InvalidState, "There is no sheet " + std::to_string(index) + "."};
    if (m_globals.sheets[static_cast<std::size_t>(index)].kind != model::SheetKind::Worksheet)
        return {};
    try
    {
        const auto i = static_cast<std::size_t>(index);
        if (m_globals.bundle && i < m_bundled.size() && m_bundled[i])
        {
            const XlsGlobals& tables = *m_bundled[i];
            m_decoder.setCodepage(tables.codepage);
            XlsSheetReader reader(tables, *m_stream, m_decoder, tables.styles.xfs.size(), m_styleBase[i]);
            return reader.read(0, sink, index);
        }
        XlsSheetReader reader(m_globals, *m_stream, m_decoder, m_globals.info.cellStyles.size());
        return reader.read(index, sink);
    }
    catch (const std::bad_alloc&)
    {
        return {EngineErrc::OutOfMemory, "Memory ran out while reading sheet " + std::to_string(index + 1) + "."};
    }
}

} // namespace

Status openXls(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader, const PasswordPrompt& prompt)
{
    reader.reset();
    try
    {
        auto container = std::make_unique<OleContainer>();
        if (Status st = container->open(path); !st)
            return st;
        return openXls(std::move(container), reader, prompt);
    }
    catch (const std::bad_alloc&)
    {
        return {EngineErrc::OutOfMemory, "Memory ran out while reading " + path + "."};
    }
}

Status openXls(std::unique_ptr<OleContainer> container, std::unique_ptr<model::WorkbookReader>& reader,
               const PasswordPrompt& prompt)
{
    reader.reset();
    try
    {
        auto xls = std::make_unique<XlsWorkbookReader>(std::move(container));
        if (Status st = xls->open(prompt); !st)
            return st;
        reader = std::move(xls);
        return {};
    }
    catch (const std::bad_alloc&)
    {
        return {EngineErrc::OutOfMemory, "Memory ran out while reading the workbook."};
    }
}

Status openBiff4OrOlder(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader)
{
    reader.reset();
    try
    {
        auto xls = std::make_unique<XlsWorkbookReader>();
        if (Status st = xls->openBare(path); !st)
            return st;
        reader = std::move(xls);
        return {};
    }
    catch (const std::bad_alloc&)
    {
        return {EngineErrc::OutOfMemory, "Memory ran out while reading " + path + "."};
    }
}

} // namespace velquin::engine::xls
