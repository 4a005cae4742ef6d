#include "app/safeguards/temp_name_draw.h"

#include <algorithm>
#include <random>
#include <vector>

#include "app/safeguards/temp_names.h"

namespace car {
namespace {

constexpr std::int32_t kFileExistsHr = hresult(0x80070050u);  // HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)

}  // namespace

// The draw counter keeps two calls within one clock tick apart.
float TempNameDraw::Unit() {
    const std::uint64_t ticks = platform_.clockTicks();
    std::seed_seq seed{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32),
                       static_cast<std::uint32_t>(++draws_)};
    std::mt19937 generator(seed);
    // 24 random bits make every float in [0, 1) a multiple of 2^-24: never 1.
    return static_cast<float>(generator() >> 8) * (1.0F / 16777216.0F);
}

std::wstring TempNameDraw::SuffixOf(int number) { return L"." + std::to_wstring(number) + L".tmp"; }

std::wstring TempNameDraw::Draw() {
    const int number = static_cast<int>(Unit() * static_cast<float>(kSuffixCount));
    return SuffixOf(std::min(number, kSuffixCount - 1));
}

// A leftover of an earlier run under the temporary or the backup name would
// make the compaction or the rename fail.
bool TempNameDraw::Taken(const std::wstring& dbPath, const std::wstring& suffix) {
    return platform_.pathExists(dbPath + suffix) || platform_.pathExists(dbPath + suffix + L"Backup") ||
           platform_.pathExists(dbPath + suffix + kIncompleteEnding);
}

std::wstring TempNameDraw::Free(const std::wstring& dbPath) {
    const std::wstring drawn = Draw();
    if (!Taken(dbPath, drawn)) return drawn;

    std::vector<std::wstring> free;
    for (int number = 0; number < kSuffixCount; ++number) {
        if (!Taken(dbPath, SuffixOf(number))) free.push_back(SuffixOf(number));
    }
    if (free.empty()) {
        throw Error{kFileExistsHr, L"Every temporary name for the database is taken: " + dbPath + L".0.tmp to " +
                                       dbPath +
                                       L".899.tmp or their Backup names all exist. Nothing was changed; "
                                       L"move the old temporary and backup files away and run again."};
    }
    const auto index = static_cast<std::size_t>(Unit() * static_cast<float>(free.size()));
    return free[std::min(index, free.size() - 1)];
}

}  // namespace car
