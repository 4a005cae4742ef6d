#include "app/safeguards/program_starts.h"

#include <array>
#include <string>

#include "app/path_only.h"

namespace car {
namespace {

enum class Folder { Windows, NativeSystem };

struct SystemTool {
    std::wstring_view name;  // as command lines name it, in lower case, without ".exe"
    Folder folder;
};

// The system's tools that the program starts, and where each lives. The
// search that would otherwise find them looks in the program's own folder
// and the current folder first, where anyone could have left a program of
// that name. iisreset may exist only as a 64-bit program: a 32-bit program
// reaches it through the native system folder.
constexpr std::array<SystemTool, 2> kSystemTools{{
    {L"iisreset", Folder::NativeSystem},
    {L"explorer", Folder::Windows},
}};

// The command line's first word: up to the closing quote when it is quoted,
// else up to the first blank.
std::wstring FirstWord(const std::wstring& commandLine) {
    if (!commandLine.empty() && commandLine.front() == L'"') {
        return commandLine.substr(1, commandLine.find(L'"', 1) - 1);
    }
    return commandLine.substr(0, commandLine.find(L' '));
}

}  // namespace

std::pair<std::wstring, std::wstring> ProgramStarts::ProgramOf(const std::wstring& commandLine) {
    const std::wstring word = FirstWord(commandLine);
    const SystemFolders folders = platform_.systemFolders();
    if (word.find_first_of(L"\\/:") != std::wstring::npos) {
        // A folder that is not there would fail the start with a misleading
        // "directory name is invalid" instead of naming the missing program.
        const std::wstring ownFolder = PathOnly(word);
        return {word, platform_.pathInfo(ownFolder).isFolder ? ownFolder : folders.system};
    }

    std::wstring name = lowerCase(word);
    if (name.ends_with(L".exe")) name.resize(name.size() - 4);
    for (const SystemTool& tool : kSystemTools) {
        if (tool.name != name) continue;
        const std::wstring& folder = tool.folder == Folder::Windows ? folders.windows : folders.nativeSystem;
        return {folder + L"\\" + name + L".exe", folders.system};
    }
    throw Error{kFileNotFoundHr, L"\"" + word +
                                     L"\" is neither a full path nor one of the system's tools that this "
                                     L"program starts; nothing was started (" +
                                     commandLine + L")."};
}

std::uint32_t ProgramStarts::Launch(const std::wstring& commandLine, int windowStyle) {
    const auto [application, currentFolder] = ProgramOf(commandLine);
    const std::uint32_t processId = platform_.launch(application, commandLine, currentFolder, windowStyle);
    log_.write(L"Started " + application + L" (pid " + std::to_wstring(processId) + L"): " + commandLine);
    return processId;
}

}  // namespace car
