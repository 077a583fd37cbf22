// Fuzz target: the state-file reader. The input holds the three files "EXCEL.txt", "output.txt" and "set.txt",
// separated by "\n@@\n"; they are written into a scratch folder, read, saved back and read again, and the lists
// must survive the round trip (the output list cut to its saved maximum).
#include "state/StateFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

namespace state = velquin::state;

[[noreturn]] void contractBroken(const char* what)
{
    std::fprintf(stderr, "velquin-fuzz: state files broke their promise: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

std::string scratchFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/velquin-fuzz-state-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    return folder;
}

void writeFile(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct FolderRemover
{
    std::string folder;
    ~FolderRemover()
    {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FolderRemover scratch{scratchFolder()};
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const char* const names[] = {state::kInputListFile, state::kOutputListFile, state::kSettingsFile};
    const state::StateFiles files(scratch.folder, nullptr);
    for (const char* name : names)
    {
        const auto end = input.find("\n@@\n");
        writeFile(files.pathOf(name), input.substr(0, end));
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 4);
    }

    const state::SavedLists before = files.LoadLists();
    const state::SettingFlags flags = files.ReadSettingFlags();
    files.SaveLists(before);
    const state::SavedLists after = files.LoadLists();
    if (flags.saveInputList && after.inputs != before.inputs)
        contractBroken("input list changed by a save and a load");
    if (flags.saveOutputList)
    {
        auto expected = before.outputs;
        if (expected.size() > state::kMaxSavedOutputs)
            expected.resize(state::kMaxSavedOutputs);
        if (after.outputs != expected)
            contractBroken("output list changed by a save and a load");
    }
    if (!(files.ReadSettingFlags() == flags))
        contractBroken("settings changed by saving the lists");
    return 0;
}
