// The temporary name of a run's compacted copy, "<database>.<n>.tmp", n drawn
// from 0 to 899 as the scripting runtime's Rnd would draw it, and a name
// already taken by a leftover (the copy's, its backup's or a kept copy's)
// drawn again among the ones still free.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace car {

class TempNameDraw {
public:
    static constexpr int kSuffixCount = 900;  // ".0.tmp" to ".899.tmp"

    explicit TempNameDraw(Platform& platform) : platform_(platform) {}

    // One suffix, ".<n>.tmp", drawn at random.
    std::wstring Draw();
    // A drawn suffix whose names are all free beside the database; fails
    // when every one is taken.
    std::wstring Free(const std::wstring& dbPath);
    // Whether a file stands under one of the names of that suffix.
    bool Taken(const std::wstring& dbPath, const std::wstring& suffix);
    static std::wstring SuffixOf(int number);

private:
    // A number in [0, 1), seeded afresh from the clock on every call.
    float Unit();

    Platform& platform_;
    std::uint64_t draws_ = 0;
};

}  // namespace car
