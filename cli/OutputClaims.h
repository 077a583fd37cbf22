// Claims on output names that several velquin-convert processes share: the first source to claim a name keeps it.
#pragma once

#include "convert/automation/Automation.h"

#include <optional>
#include <string>

namespace velquin::cli {

/// Claims the output file name `output` for `source` in the folder `claimsFolder`, which all processes of one run
/// share (over NFS too): a file named after the output that holds the path of the source that claimed it, created
/// whole by link(2), so two processes never both win. Nothing when `source` holds the claim (now or from before);
/// OutputTaken naming the holder when another source does; OutputNotWritable when no claim can be made.
std::optional<convert::AutomationError> claimOutput(const std::string& claimsFolder, const std::string& source,
                                                    const std::string& output);

} // namespace velquin::cli
