// Reads the binary workbook part.
#include "engine/xlsb/BinaryWorkbookPart.h"

#include "engine/xlsb/RecordReader.h"
#include "engine/xlsb/RecordTypes.h"
#include "engine/xlsb/WideString.h"

#include <algorithm>
#include <limits>

namespace velquin::engine::xlsb {

namespace {

constexpr std::size_t kMaxSheets = 65535;
constexpr std::size_t kMaxNames = 1000000;
constexpr std::size_t kMaxReferences = 1000000;
constexpr std::size_t kMaxBooks = 65535;
constexpr std::size_t kMaxBookEntries = 1000000;

int clampedInt(std::uint32_t value)
{
    return static_cast<int>(std::min<std::uint32_t>(value, std::numeric_limits<int>::max()));
}

class WorkbookRecords
{
public:
    explicit WorkbookRecords(BinaryWorkbookPart& out) : m_out(out) {}

    /// False when the record is cut short; `status` is set for limits.
    bool read(const Record& record, Status& status)
    {
        ByteCursor c(record.body);
        switch (record.type)
        {
        case rt::BrtBundleSh:
            return bundleSheet(c, status);
        case rt::BrtName:
            return name(c, status);
        case rt::BrtWbProp: {
            std::uint32_t flags = 0;
            if (!c.readU32(flags))
                return false;
            m_out.date1904 = (flags & 0x01) != 0;
            return true;
        }
        case rt::BrtBookView:
            return bookView(c);
        case rt::BrtBookProtection: {
            std::uint16_t book = 0, revision = 0, flags = 0;
            if (!c.readU16(book) || !c.readU16(revision) || !c.readU16(flags))
                return false;
            m_out.protectStructure = (flags & 0x01) != 0;
            m_out.protectWindows = (flags & 0x02) != 0;
            return true;
        }
        case rt::BrtSupSelf:
        case rt::BrtSupSame:
        case rt::BrtSupAddin:
        case rt::BrtBeginSupBook:
            return book(record.type, c, status);
        case rt::BrtSupTabs:
            return bookStrings(c, /*sheets*/ true, status);
        case rt::BrtPlaceholderName:
            return bookStrings(c, false, status);
        case rt::BrtExternSheet:
            return externSheet(c, status);
        default:
            return true;
        }
    }

private:
    bool bundleSheet(ByteCursor& c, Status& status)
    {
        if (m_out.sheets.size() >= kMaxSheets)
        {
            status = {EngineErrc::LimitExceeded, "more than 65535 sheets"};
            return true;
        }
        std::uint32_t state = 0, tabId = 0;
        BinaryWorkbookPart::Sheet sheet;
        if (!c.readU32(state) || !c.readU32(tabId) || !readNullableWideString(c, sheet.relationshipId) ||
            !readWideString(c, sheet.name))
            return false;
        sheet.visibility = state == 1   ? model::Visibility::Hidden
                           : state == 2 ? model::Visibility::VeryHidden
                                        : model::Visibility::Visible;
        m_out.sheets.push_back(std::move(sheet));
        return true;
    }

    bool name(ByteCursor& c, Status& status)
    {
        if (m_out.names.size() >= kMaxNames)
        {
            status = {EngineErrc::LimitExceeded, "more than a million defined names"};
            return true;
        }
        std::uint32_t flags = 0, sheet = 0, cce = 0, cb = 0;
        std::uint8_t key = 0;
        BinaryName name;
        std::span<const std::uint8_t> rgce, rgcb;
        if (!c.readU32(flags) || !c.readU8(key) || !c.readU32(sheet) || !readWideString(c, name.name) ||
            !c.readU32(cce) || !c.readBytes(cce, rgce) || !c.readU32(cb) || !c.readBytes(cb, rgcb))
            return false;
        if (name.name.starts_with("_xlnm."))
            name.name.erase(0, 6);
        name.hidden = (flags & 0x01) != 0;
        name.function = (flags & 0x02) != 0;
        name.sheet = sheet < kMaxSheets ? static_cast<int>(sheet) : -1;
        name.rgce.assign(rgce.begin(), rgce.end());
        name.rgcb.assign(rgcb.begin(), rgcb.end());
        m_out.names.push_back(std::move(name));
        return true;
    }

    bool bookView(ByteCursor& c)
    {
        if (m_seenView)
            return true;
        std::uint32_t x = 0, y = 0, width = 0, height = 0, ratio = 0, first = 0, active = 0;
        if (!c.readU32(x) || !c.readU32(y) || !c.readU32(width) || !c.readU32(height) || !c.readU32(ratio) ||
            !c.readU32(first) || !c.readU32(active))
            return false;
        m_seenView = true;
        m_out.windowTopX = static_cast<int>(static_cast<std::int32_t>(x));
        m_out.windowTopY = static_cast<int>(static_cast<std::int32_t>(y));
        m_out.windowWidth = clampedInt(width);
        m_out.windowHeight = clampedInt(height);
        m_out.tabRatio = clampedInt(ratio);
        m_out.firstSheet = clampedInt(first);
        m_out.activeTab = clampedInt(active);
        return true;
    }

    bool book(std::uint32_t type, ByteCursor& c, Status& status)
    {
        if (m_out.books.size() >= kMaxBooks)
        {
            status = {EngineErrc::LimitExceeded, "more than 65535 referenced books"};
            return true;
        }
        SupportingBook book;
        book.kind = type == rt::BrtSupSelf   ? SupportingBook::Kind::Self
                    : type == rt::BrtSupSame ? SupportingBook::Kind::Same
                    : type == rt::BrtSupAddin ? SupportingBook::Kind::AddIn
                                              : SupportingBook::Kind::External;
        if (type == rt::BrtBeginSupBook)
        {
            std::uint16_t kind = 0;
            if (!c.readU16(kind) || !readNullableWideString(c, book.relationshipId))
                return false;
        }
        m_out.books.push_back(std::move(book));
        return true;
    }

    bool bookStrings(ByteCursor& c, bool sheets, Status& status)
    {
        if (m_out.books.empty())
            return true;
        std::vector<std::string>& list = sheets ? m_out.books.back().sheets : m_out.books.back().names;
        std::uint32_t count = 1;
        if (sheets && !c.readU32(count))
            return false;
        if (count > c.remaining() / 4 || list.size() + count > kMaxBookEntries)
        {
            status = {EngineErrc::LimitExceeded, "a referenced book lists too many sheets or names"};
            return true;
        }
        for (std::uint32_t i = 0; i < count; ++i)
        {
            std::string text;
            if (!readWideString(c, text))
                return false;
            list.push_back(std::move(text));
        }
        return true;
    }

    bool externSheet(ByteCursor& c, Status& status)
    {
        std::uint32_t count = 0;
        if (!c.readU32(count))
            return false;
        if (count > c.remaining() / 12 || m_out.references.size() + count > kMaxReferences)
        {
            status = {EngineErrc::DamagedFile, "the sheet references claim more entries than they hold"};
            return true;
        }
        for (std::uint32_t i = 0; i < count; ++i)
        {
            SheetReference reference;
            std::uint32_t first = 0, last = 0;
            c.readU32(reference.book);
            c.readU32(first);
            c.readU32(last);
            reference.firstSheet = static_cast<std::int32_t>(first);
            reference.lastSheet = static_cast<std::int32_t>(last);
            m_out.references.push_back(reference);
        }
        return true;
    }

    BinaryWorkbookPart& m_out;
    bool m_seenView = false;
};

} // namespace

Status readBinaryWorkbookPart(std::span<const std::uint8_t> bytes, const std::string& partName,
                              BinaryWorkbookPart& out)
{
    RecordReader reader(bytes, partName);
    WorkbookRecords records(out);
    if (Status status = readRecords(reader, records); !status)
        return status;
    if (out.sheets.empty())
        return {EngineErrc::DamagedFile, partName + " lists no sheets"};
    for (BinaryName& name : out.names)
    {
        if (name.sheet >= static_cast<int>(out.sheets.size()))
            name.sheet = -1;
    }
    const int last = static_cast<int>(out.sheets.size()) - 1;
    out.activeTab = std::clamp(out.activeTab, 0, last);
    out.firstSheet = std::clamp(out.firstSheet, 0, last);
    return {};
}

} // namespace velquin::engine::xlsb
