// Compound files made in memory for tests: streams in regular sectors or in the mini stream, storages one level
// deep, siblings linked as one list (as simple writers link them).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velquin::test {

/// A compound file holding these streams (name, content), in that order. A name "Storage/Name" puts the stream
/// into that storage of the root. Streams under 4096 bytes go into the mini stream, larger ones into sectors of
/// their own, laid out one after another: the streams first, then the mini stream, the MiniFAT, the directory and
/// the FAT, all FAT sectors listed in the header. `sectorShift` 9 makes a version 3 file, 12 a version 4 file.
std::string makeCompoundFile(const std::vector<std::pair<std::string, std::string>>& streams,
                             unsigned sectorShift = 9);

} // namespace velquin::test
