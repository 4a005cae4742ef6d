// A file or folder the fake hands out held, named by the path it stands
// under now: what holdFile, holdFolder and openInTree give alike.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "fake_platform.h"

namespace cartest {

template <class Interface>
class FakeGrantable : public Interface {
public:
    FakeGrantable(FakePlatform& platform, std::wstring path) : platform_(platform), path_(std::move(path)) {}
    FakeGrantable(const FakeGrantable&) = delete;
    FakeGrantable& operator=(const FakeGrantable&) = delete;

    car::ReparseKind reparseKind() const override { return platform_.reparseKindOf(path_); }
    std::uint32_t nameCount() const override {
        const auto names = platform_.nameCounts.find(path_);
        return names == platform_.nameCounts.end() ? 1 : names->second;
    }
    bool isFolder() const override { return !platform_.files.contains(path_); }
    std::uint32_t volume() const override {
        const auto found = platform_.volumes.find(path_);
        return found == platform_.volumes.end() ? 1 : found->second;
    }
    std::uint64_t fileId() const override { return platform_.fileIdOf(path_); }
    void grantFullControl(const std::vector<std::wstring>& sids, bool inherited) override {
        platform_.grantOn(path_, sids, inherited);
    }
    std::vector<car::ListedEntry> list() override { return platform_.listFolder(path_); }

protected:
    FakePlatform& platform_;
    std::wstring path_;
};

}  // namespace cartest
