// Reads workbook.xml.
#include "engine/xlsx/WorkbookPartReader.h"

#include "engine/formula/R1C1Translator.h"
#include "engine/xlsx/XmlParser.h"

#include <algorithm>

namespace velquin::engine::xlsx {

namespace {

constexpr std::size_t kMaxSheets = 65535;
constexpr std::size_t kMaxNames = 1 << 20;
constexpr std::size_t kMaxExternalBooks = 65535;

int boundedInt(const XmlAttributes& a, std::string_view name, int fallback)
{
    return static_cast<int>(std::clamp(a.integer(name, fallback), -1000000000LL, 1000000000LL));
}

class WorkbookHandler : public XmlHandler
{
public:
    explicit WorkbookHandler(WorkbookPart& out) : m_out(out) {}

    void startElement(std::string_view name, const XmlAttributes& a) override
    {
        if (name == "sheet")
            sheet(a);
        else if (name == "definedName")
        {
            m_inName = true;
            m_nameText.clear();
            m_name = {};
            m_name.name = a.get("name");
            if (m_name.name.starts_with("_xlnm."))
                m_name.name.erase(0, 6);
            m_name.hidden = a.flag("hidden", false);
            long long local = a.integer("localSheetId", -1);
            m_name.sheet = local >= 0 && local < static_cast<long long>(kMaxSheets) ? static_cast<int>(local) : -1;
        }
        else if (name == "externalReference" && m_out.externalReferences.size() < kMaxExternalBooks)
            m_out.externalReferences.emplace_back(a.get("id"));
        else if (name == "workbookPr")
            m_out.date1904 = a.flag("date1904", false);
        else if (name == "workbookView" && !m_seenView)
        {
            m_seenView = true;
            m_out.windowTopX = boundedInt(a, "xWindow", 0);
            m_out.windowTopY = boundedInt(a, "yWindow", 0);
            m_out.windowWidth = boundedInt(a, "windowWidth", 0);
            m_out.windowHeight = boundedInt(a, "windowHeight", 0);
            m_out.tabRatio = boundedInt(a, "tabRatio", 600);
            m_out.activeTab = boundedInt(a, "activeTab", 0);
            m_out.firstSheet = boundedInt(a, "firstSheet", 0);
        }
        else if (name == "workbookProtection")
        {
            m_out.protectStructure = a.flag("lockStructure", false);
            m_out.protectWindows = a.flag("lockWindows", false);
        }
    }

    void endElement(std::string_view name) override
    {
        if (name != "definedName" || !m_inName)
            return;
        m_inName = false;
        if (m_out.names.size() >= kMaxNames)
        {
            stopReason = {EngineErrc::LimitExceeded, "more than a million defined names"};
            return;
        }
        m_name.refersTo = formula::toR1C1Formula(m_nameText, 0, 0);
        m_out.names.push_back(std::move(m_name));
        m_out.namesA1.push_back(m_nameText);
    }

    void text(std::string_view text) override
    {
        if (m_inName && m_nameText.size() < 65536)
            m_nameText += text;
    }

private:
    void sheet(const XmlAttributes& a)
    {
        if (m_out.sheets.size() >= kMaxSheets)
        {
            stopReason = {EngineErrc::LimitExceeded, "more than 65535 sheets"};
            return;
        }
        WorkbookPart::Sheet sheet;
        sheet.name = a.get("name");
        sheet.relationshipId = a.get("id");
        std::string_view state = a.get("state");
        sheet.visibility = state == "hidden"       ? model::Visibility::Hidden
                           : state == "veryHidden" ? model::Visibility::VeryHidden
                                                   : model::Visibility::Visible;
        m_out.sheets.push_back(std::move(sheet));
    }

    WorkbookPart& m_out;
    bool m_inName = false, m_seenView = false;
    model::DefinedName m_name;
    std::string m_nameText;
};

} // namespace

Status readWorkbookPart(std::string_view xml, std::string_view partName, WorkbookPart& out)
{
    WorkbookHandler handler(out);
    if (Status status = parseXml(xml, handler, partName); !status)
        return status;
    if (out.sheets.empty())
        return {EngineErrc::DamagedFile, std::string(partName) + " lists no sheets"};
    for (model::DefinedName& name : out.names)
    {
        if (name.sheet >= static_cast<int>(out.sheets.size()))
            name.sheet = -1;
    }
    out.activeTab = std::clamp(out.activeTab, 0, static_cast<int>(out.sheets.size()) - 1);
    out.firstSheet = std::clamp(out.firstSheet, 0, static_cast<int>(out.sheets.size()) - 1);
    return {};
}

} // namespace velquin::engine::xlsx
