// The automation operations carried out by Velquin's own engine: open a workbook, save it as SpreadsheetML 2003.
#pragma once

#include "convert/automation/Automation.h"
#include "engine/Engine.h"
#include "engine/Error.h"
#include "engine/model/WorkbookReader.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace velquin::convert {

/// Settings every application object of the factory shares.
struct EngineAutomationOptions
{
    /// Longest time one workbook may take from Open to the end of SaveAs; zero = no limit.
    std::chrono::milliseconds timeout{0};
    /// Whether SaveAs flushes each output to the disk before it replaces the target.
    engine::Durability durability = engine::Durability::Synced;
    /// How Open reads a workbook; engine::openWorkbook when empty. Tests put a fake reader here.
    std::function<engine::Status(const std::string&, std::unique_ptr<engine::model::WorkbookReader>&)> open;
};

/// Creates application objects over the engine. Each application is independent of the others (no shared state),
/// so conversions may run on several threads at once, one application per thread.
///
/// Errors carry the engine's error number (always > 0) and its description unchanged. SaveAs with a FileFormat
/// other than 46 gives InvalidFileFormat; any call on a closed workbook, or on an application or workbook after
/// Quit, gives InvalidState.
class EngineApplicationFactory : public ApplicationFactory
{
public:
    explicit EngineApplicationFactory(EngineAutomationOptions options = {}) : m_options(options) {}
    AutomationStatus create(std::unique_ptr<Application>& application) override;

private:
    EngineAutomationOptions m_options;
};

} // namespace velquin::convert
